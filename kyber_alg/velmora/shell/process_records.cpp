#include "process_records.hpp"

namespace kyber_alg::velmora {

ProcessRecords& process_records() {
  static ProcessRecords* records = nullptr;
  return never_destroyed(records);
}

}  // namespace kyber_alg::velmora
