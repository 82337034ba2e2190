// Keccak-f[1600] and the FIPS 202 functions ML-KEM uses: SHA3-256 (H),
// SHA3-512 (G), SHAKE128 (the XOF of SampleNTT) and SHAKE256 (PRF and J).
#pragma once

#include <cstddef>
#include <cstdint>

namespace kyber_alg::kyber {

void keccak_f1600(uint64_t state[25]);

// Sponge over Keccak-f[1600] with a fixed rate and domain-separation byte.
// Usage: absorb() any number of times, then squeeze() any number of times.
template <std::size_t Rate, uint8_t Domain>
class Sponge {
public:
    static constexpr std::size_t rate = Rate;

    Sponge() = default;
    Sponge(const Sponge&) = delete;
    Sponge& operator=(const Sponge&) = delete;
    ~Sponge();

    void absorb(const uint8_t* in, std::size_t len);
    void squeeze(uint8_t* out, std::size_t len);
    // Whole rate-sized blocks, the fast path of SampleNTT.
    void squeeze_blocks(uint8_t* out, std::size_t blocks);

private:
    void finish_absorb();

    uint64_t state_[25] = {};
    std::size_t pos_ = 0;  // byte offset inside the current block
    bool squeezing_ = false;
};

using Sha3_256 = Sponge<136, 0x06>;
using Sha3_512 = Sponge<72, 0x06>;
using Shake128 = Sponge<168, 0x1f>;
using Shake256 = Sponge<136, 0x1f>;

extern template class Sponge<136, 0x06>;
extern template class Sponge<72, 0x06>;
extern template class Sponge<168, 0x1f>;
extern template class Sponge<136, 0x1f>;

}  // namespace kyber_alg::kyber
