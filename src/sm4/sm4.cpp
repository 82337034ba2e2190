// Entry points of the SM4 core: each goes to the active code path.
#include "sm4/sm4.hpp"

#include "sm4/kernels.hpp"

namespace kyber_alg::sm4 {

void expand_key(const uint8_t key[kKeySize], RoundKeys& encrypt_keys) {
  kernels()->expand_key(key, encrypt_keys.rk);
}

void reverse_keys(const RoundKeys& encrypt_keys, RoundKeys& decrypt_keys) {
  for (std::size_t i = 0; i < kRounds; ++i) decrypt_keys.rk[i] = encrypt_keys.rk[kRounds - 1 - i];
}

void ecb(const RoundKeys& keys, const uint8_t* in, uint8_t* out, std::size_t blocks) {
  if (blocks > 0) kernels()->ecb(keys.rk, in, out, blocks);
}

void cbc_encrypt(const RoundKeys& encrypt_keys, uint8_t iv[kBlockSize], const uint8_t* in, uint8_t* out,
                 std::size_t blocks) {
  if (blocks > 0) kernels()->cbc_encrypt(encrypt_keys.rk, iv, in, out, blocks);
}

void cbc_decrypt(const RoundKeys& decrypt_keys, uint8_t iv[kBlockSize], const uint8_t* in, uint8_t* out,
                 std::size_t blocks) {
  if (blocks > 0) kernels()->cbc_decrypt(decrypt_keys.rk, iv, in, out, blocks);
}

}  // namespace kyber_alg::sm4
