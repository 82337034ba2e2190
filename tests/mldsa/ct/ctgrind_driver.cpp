// Constant-time check of the kyber_alg.mldsa core under valgrind memcheck
// (the ctgrind technique), for ML-DSA-44, -65 and -87 on one code path.
//
// The secrets (the seed xi, the encoded private key, the signing randomness
// rnd) are marked undefined; memcheck then reports every branch and memory
// address that depends on them. Inside the library, rho, t1 (the public key),
// whether a stored key passes its checks, the decision to keep or reject a
// signing candidate (FIPS 204 lets the number of rejections be public), which
// SampleInBall bytes are skipped, and the kept signature are declassified.
//
// Usage: ctgrind_driver [portable|avx2] checks that path (exit code 77 if the
// CPU, or valgrind's emulated one, lacks it); --leak-self-test branches on a
// secret on purpose, to show that the harness catches it.
#include <cstdio>
#include <cstring>

#include "../../ct/ctgrind.hpp"
#include "mldsa/kernels.hpp"
#include "mldsa/ml_dsa.hpp"
#include "mlkem/kernels.hpp"

namespace mldsa = kyber_alg::mldsa;
using ctgrind::fill_random;
using ctgrind::make_public;
using ctgrind::secret;

namespace {

template <class P>
struct Keys {
  mldsa::PrivateKey<P> generated, read_back;
  mldsa::PublicKey<P> published;
  uint8_t sk[P::sk_bytes];
  uint8_t sig[P::sig_bytes];
};

template <class P>
Keys<P> keys;

template <class P>
bool rounds(const char* name) {
  Keys<P>& k = keys<P>;
  for (int round = 0; round < 2; ++round) {
    uint8_t xi[32], rnd[32], mu[64];
    if (!fill_random(xi, 32) || !fill_random(rnd, 32) || !fill_random(mu, 64)) return false;
    secret(xi, 32);
    secret(rnd, 32);
    mldsa::ml_dsa_keygen_internal<P>(k.generated, xi);
    make_public(k.generated.pk, P::pk_bytes);
    mldsa::read_public_key<P>(k.published, k.generated.pk);
    // The encoded private key, read back as a secret.
    mldsa::sk_encode<P>(k.sk, k.generated.parts);
    secret(k.sk, P::sk_bytes);
    if (mldsa::read_private_key<P>(k.read_back, k.sk) != mldsa::ReadResult::ok) {
      std::printf("%s: the private key did not read back\n", name);
      return false;
    }
    mldsa::ml_dsa_sign_internal<P>(k.sig, k.read_back, mu, rnd);
    make_public(k.sig, P::sig_bytes);
    if (!mldsa::ml_dsa_verify_internal<P>(k.published, k.sig, mu)) {
      std::printf("%s: a signature did not verify\n", name);
      return false;
    }
    mldsa::ml_dsa_sign_internal<P>(k.sig, k.generated, mu, rnd);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (ctgrind::is_leak_self_test(argc, argv)) return ctgrind::leak_self_test();
  const char* path = ctgrind::path_argument(argc, argv);
  const kyber_alg::Backend backend = ctgrind::parse_backend(path);
  if (!mldsa::kernels.select(backend) || !kyber_alg::mlkem::kernels.select(backend))
    return ctgrind::path_unavailable(path);
  if (!rounds<mldsa::MlDsa44>("ML-DSA-44") || !rounds<mldsa::MlDsa65>("ML-DSA-65") ||
      !rounds<mldsa::MlDsa87>("ML-DSA-87"))
    return 1;
  std::printf("ctgrind driver: ML-DSA-44/65/87 keygen/read/sign/verify rounds done (%s)\n", path);
  return 0;
}
