// Four Keccak-f[1600] sponges stepped together with AVX2, for the four
// independent SHAKE calls of matrix and noise sampling. Only the shapes
// ML-KEM needs: one short absorb (less than a block), then whole blocks out.
// Call only on the AVX2 path (use_avx2()).
#pragma once

#include <cstddef>
#include <cstdint>

namespace kyber_alg::kyber {

class KeccakX4 {
public:
    KeccakX4() = default;
    KeccakX4(const KeccakX4&) = delete;
    KeccakX4& operator=(const KeccakX4&) = delete;
    ~KeccakX4();

    // Absorbs in[l][0..len) into sponge l and pads with `domain`; len < rate.
    void absorb_once(const uint8_t* const in[4], std::size_t len, std::size_t rate, uint8_t domain);

    // Writes `blocks` * rate bytes of output of sponge l to out[l].
    void squeeze_blocks(uint8_t* const out[4], std::size_t blocks, std::size_t rate);

private:
    alignas(32) uint64_t state_[25 * 4] = {};  // lane i of sponge l at [4 i + l]
    bool fresh_ = true;                        // the first block needs no permutation
};

}  // namespace kyber_alg::kyber
