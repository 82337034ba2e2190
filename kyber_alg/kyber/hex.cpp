#include "hex.h"

#include "ct.h"

namespace kyber_alg::kyber {

namespace {

// 0..15 -> '0'..'9', 'a'..'f' by arithmetic, no table indexed by the secret.
inline char hex_digit(uint32_t nibble) {
    const uint32_t is_letter = ct::mask_in_range(nibble, 10, 15);
    return static_cast<char>(nibble + '0' + (is_letter & ('a' - '0' - 10)));
}

// '0'..'9', 'a'..'f', 'A'..'F' -> 0..15; sets `bad` to all ones otherwise.
inline uint32_t hex_value(uint32_t ch, uint32_t& bad) {
    const uint32_t is_digit = ct::mask_in_range(ch, '0', '9');
    const uint32_t lower = ch | 0x20;  // folds 'A'..'F' onto 'a'..'f'
    const uint32_t is_letter = ct::mask_in_range(lower, 'a', 'f');
    bad |= ~(is_digit | is_letter);
    return ((ch - '0') & is_digit) | ((lower - 'a' + 10) & is_letter);
}

}  // namespace

void hex_encode(char* out, const uint8_t* in, std::size_t len) {
    for (std::size_t i = 0; i < len; ++i) {
        out[2 * i] = hex_digit(in[i] >> 4);
        out[2 * i + 1] = hex_digit(in[i] & 0x0f);
    }
}

bool hex_decode(uint8_t* out, const char* in, std::size_t len) {
    uint32_t bad = 0;
    for (std::size_t i = 0; i < len; ++i) {
        const uint32_t hi = hex_value(static_cast<uint8_t>(in[2 * i]), bad);
        const uint32_t lo = hex_value(static_cast<uint8_t>(in[2 * i + 1]), bad);
        out[i] = static_cast<uint8_t>((hi << 4) | lo);
    }
    // Only the overall valid/invalid outcome is made public.
    ct::declassify(&bad, sizeof bad);
    return ct::value_barrier(bad) == 0;
}

}  // namespace kyber_alg::kyber
