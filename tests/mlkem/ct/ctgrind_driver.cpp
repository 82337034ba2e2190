// Constant-time check of the kyber_alg.mlkem core under valgrind memcheck
// (the ctgrind technique), for ML-KEM-512, -768 and -1024 on one code path.
//
// The secrets (the seed d || z, the encapsulation randomness m, the encoded
// decapsulation key) are marked undefined; memcheck then reports every
// branch and memory address that depends on them. Values the algorithm
// publishes (ek, c) are marked defined again where they become public; the
// library itself declassifies rho and the ek / H(ek) parts of dk.
//
// Usage: ctgrind_driver [portable|avx2|avx512] checks that path (exit code 77
// if the CPU, or valgrind's emulated one, lacks it); --leak-self-test
// branches on a secret on purpose, to show that the harness catches it.
#include <cstdio>
#include <cstring>

#include "../../ct/ctgrind.hpp"
#include "common/ct.hpp"
#include "mlkem/k_pke.hpp"
#include "mlkem/kernels.hpp"
#include "mlkem/ml_kem.hpp"
#include "mlkem/sampling.hpp"
#include "mlkem/sampling_avx2.hpp"

namespace mlkem = kyber_alg::mlkem;
using ctgrind::fill_random;
using ctgrind::make_public;
using ctgrind::secret;

namespace {

// Static: the decoded keys of ML-KEM-1024 are several kilobytes each.
template <class P>
struct Keys {
  mlkem::DecapsulationKey<P> generated, read_back;
  mlkem::EncapsulationKey<P> published;
  uint8_t dk[P::dk_bytes];
  uint8_t c[P::ct_bytes];
};

template <class P>
int round_trip() {
  static Keys<P> keys;
  uint8_t seed[64], m[32];
  if (!fill_random(seed, 64) || !fill_random(m, 32)) return 2;
  secret(seed, 64), secret(m, 32);

  mlkem::ml_kem_keygen_internal<P>(keys.generated, seed, seed + 32);
  make_public(keys.generated.ek.bytes, P::ek_bytes);  // published
  make_public(keys.generated.ek.h, 32);

  // The public key as a peer reads it, and the private key as read from its encoding.
  if (!mlkem::read_encapsulation_key<P>(keys.published, keys.generated.ek.bytes)) return 3;
  mlkem::write_decapsulation_key<P>(keys.dk, keys.generated);
  secret(keys.dk, P::dk_bytes);
  if (!mlkem::ek_modulus_check<P>(keys.dk + P::dk_pke_bytes)) return 4;
  if (!mlkem::read_decapsulation_key<P>(keys.read_back, keys.dk)) return 5;

  uint8_t key[32], key_dec[32], key_gen[32], key_rejected[32];
  mlkem::ml_kem_encaps_internal<P>(key, keys.c, keys.published, m);
  make_public(keys.c, P::ct_bytes);  // published
  mlkem::ml_kem_decaps_internal<P>(key_dec, keys.read_back, keys.c);
  mlkem::ml_kem_decaps_internal<P>(key_gen, keys.generated, keys.c);
  keys.c[P::ct_bytes / 2] ^= 0x10;  // the implicit-rejection path must be constant time too
  mlkem::ml_kem_decaps_internal<P>(key_rejected, keys.read_back, keys.c);

  // The "both" private-key form compares the expanded key with the seed's.
  uint8_t again[P::dk_bytes];
  mlkem::write_decapsulation_key<P>(again, keys.generated);
  const bool consistent = kyber_alg::ct::equal_mask(again, keys.dk, P::dk_bytes) == 0xff;
  make_public(&consistent, sizeof consistent);

#if KYBER_ALG_HAVE_X86_VECTOR
  // The avx512 path's interleaved decapsulation hashes, on whatever four-way
  // permutation this path has (valgrind runs no AVX-512): the same results as
  // the plain ones, and as constant time.
  if (mlkem::kernels->keccak_f1600_x4) {
    static mlkem::EncryptionNoise<P> plain, interleaved;
    uint8_t k_r[2][64], k_bar[2][32];
    mlkem::portable::decaps_hashes<P>(k_r[0], k_bar[0], plain, m, keys.generated.ek.h, seed + 32, keys.c);
    mlkem::avx2::decaps_hashes_x4<P>(k_r[1], k_bar[1], interleaved, m, keys.generated.ek.h, seed + 32,
                                     keys.c);
    using kyber_alg::ct::equal_mask;
    uint8_t same = equal_mask(k_r[0], k_r[1], 64) & equal_mask(k_bar[0], k_bar[1], 32) &
                   equal_mask(reinterpret_cast<const uint8_t*>(&plain),
                              reinterpret_cast<const uint8_t*>(&interleaved), sizeof plain);
    make_public(&same, 1);
    if (same != 0xff) return 9;

    // And its interleaved key generation, against the plain one.
    static mlkem::DecapsulationKey<P> interleaved_key;
    interleaved_key.ek.pke = keys.generated.ek.pke;  // rho, which both start from
    mlkem::avx2::keygen_expand_x4<P>(interleaved_key.ek.pke, interleaved_key.pke, interleaved_key.ek.bytes,
                                     interleaved_key.ek.h, seed);
    static mlkem::DecapsulationKey<P> plain_key;
    plain_key.ek.pke = keys.generated.ek.pke;
    mlkem::k_pke_keygen_expand<P>(plain_key.ek.pke, plain_key.pke, plain_key.ek.bytes, plain_key.ek.h, seed);
    uint8_t same_key = equal_mask(interleaved_key.ek.bytes, plain_key.ek.bytes, P::ek_bytes) &
                       equal_mask(interleaved_key.ek.h, plain_key.ek.h, 32) &
                       equal_mask(reinterpret_cast<const uint8_t*>(&interleaved_key.pke),
                                  reinterpret_cast<const uint8_t*>(&plain_key.pke), sizeof plain_key.pke);
    make_public(&same_key, 1);
    if (same_key != 0xff) return 10;
  }
#endif

  // Compared here only to confirm the run computed the right thing.
  make_public(key, 32), make_public(key_dec, 32), make_public(key_gen, 32), make_public(key_rejected, 32);
  if (std::memcmp(key, key_dec, 32) != 0 || std::memcmp(key, key_gen, 32) != 0) return 6;
  if (std::memcmp(key, key_rejected, 32) == 0) return 7;
  if (!consistent) return 8;
  return 0;
}

template <class P>
bool rounds(const char* name) {
  for (int i = 0; i < 2; ++i) {
    if (const int rc = round_trip<P>(); rc != 0) {
      std::fprintf(stderr, "%s round trip %d failed with code %d\n", name, i, rc);
      return false;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (ctgrind::is_leak_self_test(argc, argv)) return ctgrind::leak_self_test();
  const char* path = argc > 1 ? argv[1] : "portable";
  if (!mlkem::kernels.select(ctgrind::parse_backend(path))) return ctgrind::path_unavailable(path);
  if (!rounds<mlkem::MlKem512>("ML-KEM-512") || !rounds<mlkem::MlKem768>("ML-KEM-768") ||
      !rounds<mlkem::MlKem1024>("ML-KEM-1024"))
    return 1;
  std::printf("ctgrind driver: ML-KEM-512/768/1024 keygen/encaps/decaps rounds done (%s)\n", path);
  return 0;
}
