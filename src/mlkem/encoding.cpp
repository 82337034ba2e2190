#include "mlkem/encoding.hpp"

#include "common/ct.hpp"
#include "mlkem/kernels.hpp"
#include "mlkem/ntt.hpp"

namespace kyber_alg::mlkem {

namespace {

// floor(y / q) for 0 <= y < 2^23 by multiply and shift; the hardware divider
// is avoided because its timing can depend on the operand.
constexpr uint32_t div_q(uint32_t y) { return static_cast<uint32_t>((y * div_q_multiplier) >> 40); }

// Spot checks; the error bound y * (m - 2^40/q) / 2^40 < 1/q holds for
// y < 2^23, so div_q is exact on the whole range Compress uses.
static_assert(div_q(q - 1) == 0 && div_q(q) == 1 && div_q(3329 * 1024 + 3328) == 1024);
static_assert(div_q((1u << 23) - 1) == ((1u << 23) - 1) / 3329);

template <int D>
void encode_bits(uint8_t* out, const Poly& f) {
  static_assert(D >= 1 && D <= 12);
  // 8 coefficients of D bits fill exactly D bytes.
  for (int i = 0; i < n; i += 8) {
    uint64_t acc = 0;
    int bits = 0;
    for (int j = 0; j < 8; ++j) {
      acc |= static_cast<uint64_t>(static_cast<uint16_t>(f.c[i + j])) << bits;
      bits += D;
      while (bits >= 8) {
        *out++ = static_cast<uint8_t>(acc);
        acc >>= 8;
        bits -= 8;
      }
    }
  }
}

template <int D>
void decode_bits(Poly& f, const uint8_t* in) {
  static_assert(D >= 1 && D <= 12);
  constexpr uint32_t mask = (1u << D) - 1;
  for (int i = 0; i < n; i += 8) {
    uint64_t acc = 0;
    int bits = 0;
    for (int j = 0; j < 8; ++j) {
      while (bits < D) {
        acc |= static_cast<uint64_t>(*in++) << bits;
        bits += 8;
      }
      f.c[i + j] = static_cast<int16_t>(acc & mask);
      acc >>= D;
      bits -= D;
    }
  }
}

template <int D>
void compress(Poly& f) {
  static_assert(D >= 1 && D < 12);
  static_assert(((q - 1) << D) + (q - 1) / 2 < (1 << 23), "div_q is exact below 2^23");
  for (int16_t& x : f.c) {
    // round(2^D * x / q) = floor((2^D * x + (q-1)/2) / q): q is odd, so no tie.
    const uint32_t y = (static_cast<uint32_t>(x) << D) + (q - 1) / 2;
    x = static_cast<int16_t>(div_q(y) & ((1u << D) - 1));
  }
}

template <int D>
void decompress(Poly& f) {
  static_assert(D >= 1 && D < 12);
  for (int16_t& x : f.c) {
    // round(q * y / 2^D)
    x = static_cast<int16_t>((static_cast<uint32_t>(x) * q + (1u << (D - 1))) >> D);
  }
}

}  // namespace

void byte_encode_12(uint8_t out[poly_bytes], const Poly& f) { kernels->byte_encode_12(out, f); }

void byte_decode_12_raw(Poly& f, const uint8_t* in) { kernels->byte_decode_12_raw(f, in); }

void byte_decode_12(Poly& f, const uint8_t* in) {
  byte_decode_12_raw(f, in);
  poly_canonical(f);  // values below 4096 < 2q: this subtracts q where x >= q
}

bool all_below_q(const Poly& f) {
  uint32_t bad = 0;
  for (int16_t x : f.c) bad |= static_cast<uint32_t>(q - 1 - x) >> 31;  // 1 iff x >= q
  return bad == 0;
}

template <int D>
void compress_encode(uint8_t* out, const Poly& f) {
  static_assert(compressed_index<D>() >= 0);
  kernels->compress_encode[compressed_index<D>()](out, f);
}

template <int D>
void decode_decompress(Poly& f, const uint8_t* in) {
  static_assert(compressed_index<D>() >= 0);
  kernels->decode_decompress[compressed_index<D>()](f, in);
}

namespace portable {

void byte_encode_12(uint8_t out[poly_bytes], const Poly& f) { encode_bits<12>(out, f); }
void byte_decode_12_raw(Poly& f, const uint8_t in[poly_bytes]) { decode_bits<12>(f, in); }

template <int D>
void compress_encode(uint8_t* out, const Poly& f) {
  ct::Wiped<Poly> compressed;  // with d = 1 this is the message of a decryption
  compressed.value = f;
  compress<D>(compressed.value);
  encode_bits<D>(out, compressed.value);
}

template <int D>
void decode_decompress(Poly& f, const uint8_t* in) {
  decode_bits<D>(f, in);
  decompress<D>(f);
}

}  // namespace portable

#define KYBER_ALG_ENCODING_FOR(D)                                    \
  template void compress_encode<D>(uint8_t*, const Poly&);           \
  template void decode_decompress<D>(Poly&, const uint8_t*);         \
  template void portable::compress_encode<D>(uint8_t*, const Poly&); \
  template void portable::decode_decompress<D>(Poly&, const uint8_t*);
KYBER_ALG_ENCODING_FOR(1)
KYBER_ALG_ENCODING_FOR(4)
KYBER_ALG_ENCODING_FOR(5)
KYBER_ALG_ENCODING_FOR(10)
KYBER_ALG_ENCODING_FOR(11)
#undef KYBER_ALG_ENCODING_FOR

}  // namespace kyber_alg::mlkem
