"""Native SM3 and SM4 (C++): kyber_alg.sm.SM3 and kyber_alg.sm.sm4, drop-in replacements for pysmx.SM3 and gmssl.sm4."""
