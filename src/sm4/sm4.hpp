// SM4 block cipher (GB/T 32907-2016): key expansion, and ECB and CBC over
// whole blocks through the code path chosen at load.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kyber_alg::sm4 {

inline constexpr std::size_t kBlockSize = 16, kKeySize = 16, kRounds = 32;

// Round keys rk_0..rk_31, in the order the rounds use them (reversed for decryption).
struct RoundKeys {
  uint32_t rk[kRounds];
};

void expand_key(const uint8_t key[kKeySize], RoundKeys& encrypt_keys);
// The decryption schedule: the encryption round keys in reverse order.
void reverse_keys(const RoundKeys& encrypt_keys, RoundKeys& decrypt_keys);

// Each block through the 32 rounds (encryption or decryption, by the schedule).
// in and out may be the same buffer; they must not overlap otherwise.
void ecb(const RoundKeys& keys, const uint8_t* in, uint8_t* out, std::size_t blocks);
// CBC; iv is updated to the last ciphertext block so calls can be chained.
// Encryption may work in place (in == out); otherwise, and always for
// decryption, in and out must not overlap.
void cbc_encrypt(const RoundKeys& encrypt_keys, uint8_t iv[kBlockSize], const uint8_t* in, uint8_t* out,
                 std::size_t blocks);
void cbc_decrypt(const RoundKeys& decrypt_keys, uint8_t iv[kBlockSize], const uint8_t* in, uint8_t* out,
                 std::size_t blocks);

}  // namespace kyber_alg::sm4
