#include "mlkem/keccak.hpp"

#include "common/ct.hpp"
#include "mlkem/keccak_round.hpp"
#include "mlkem/kernels.hpp"

namespace kyber_alg::mlkem {

namespace {

inline uint64_t load64_le(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

inline void store64_le(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

namespace portable {

void keccak_f1600(uint64_t s[25]) { KECCAK_F1600_BODY(s) }

}  // namespace portable

template <std::size_t Rate, uint8_t Domain>
Sponge<Rate, Domain>::~Sponge() {
  ct::wipe(state_, sizeof state_);
}

template <std::size_t Rate, uint8_t Domain>
void Sponge<Rate, Domain>::absorb(const uint8_t* in, std::size_t len) {
  // Unaligned head: byte by byte until the block offset is lane-aligned.
  while (len > 0 && pos_ % 8 != 0) {
    state_[pos_ / 8] ^= static_cast<uint64_t>(*in++) << (8 * (pos_ % 8));
    --len;
    if (++pos_ == Rate) kernels->keccak_f1600(state_), pos_ = 0;
  }
  while (len >= 8) {
    state_[pos_ / 8] ^= load64_le(in);
    in += 8, len -= 8, pos_ += 8;
    if (pos_ == Rate) kernels->keccak_f1600(state_), pos_ = 0;
  }
  while (len > 0) {
    state_[pos_ / 8] ^= static_cast<uint64_t>(*in++) << (8 * (pos_ % 8));
    --len, ++pos_;
  }
}

template <std::size_t Rate, uint8_t Domain>
void Sponge<Rate, Domain>::finish_absorb() {
  state_[pos_ / 8] ^= static_cast<uint64_t>(Domain) << (8 * (pos_ % 8));
  state_[(Rate - 1) / 8] ^= 0x80ULL << (8 * ((Rate - 1) % 8));
  kernels->keccak_f1600(state_);
  pos_ = 0;
  squeezing_ = true;
}

template <std::size_t Rate, uint8_t Domain>
void Sponge<Rate, Domain>::squeeze(uint8_t* out, std::size_t len) {
  if (!squeezing_) finish_absorb();
  while (len > 0) {
    if (pos_ == Rate) kernels->keccak_f1600(state_), pos_ = 0;
    if (pos_ % 8 == 0 && len >= 8) {
      store64_le(out, state_[pos_ / 8]);
      out += 8, len -= 8, pos_ += 8;
    } else {
      *out++ = static_cast<uint8_t>(state_[pos_ / 8] >> (8 * (pos_ % 8)));
      --len, ++pos_;
    }
  }
}

template <std::size_t Rate, uint8_t Domain>
void Sponge<Rate, Domain>::squeeze_blocks(uint8_t* out, std::size_t blocks) {
  if (!squeezing_) finish_absorb();
  if (pos_ != 0 && pos_ != Rate) return squeeze(out, blocks * Rate);
  for (std::size_t b = 0; b < blocks; ++b, out += Rate) {
    if (pos_ == Rate) kernels->keccak_f1600(state_);
    for (std::size_t i = 0; i < Rate / 8; ++i) store64_le(out + 8 * i, state_[i]);
    pos_ = Rate;
  }
}

template class Sponge<136, 0x06>;
template class Sponge<72, 0x06>;
template class Sponge<168, 0x1f>;
template class Sponge<136, 0x1f>;

}  // namespace kyber_alg::mlkem
