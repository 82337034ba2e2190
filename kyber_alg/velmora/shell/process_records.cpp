#include "process_records.hpp"

namespace velmora {

ProcessRecords& process_records() {
  static ProcessRecords* records = nullptr;
  return never_destroyed(records);
}

}  // namespace velmora
