// Naming of the 25 Keccak lanes as locals aXY (lane x + 5y), shared by the
// scalar and the four-way permutation so both load and store them alike.
#pragma once

// Declares a00..a44 of type T from s[0..24].
#define KECCAK_LOAD_LANES(T, s)                                      \
  T a00 = s[0], a10 = s[1], a20 = s[2], a30 = s[3], a40 = s[4];      \
  T a01 = s[5], a11 = s[6], a21 = s[7], a31 = s[8], a41 = s[9];      \
  T a02 = s[10], a12 = s[11], a22 = s[12], a32 = s[13], a42 = s[14]; \
  T a03 = s[15], a13 = s[16], a23 = s[17], a33 = s[18], a43 = s[19]; \
  T a04 = s[20], a14 = s[21], a24 = s[22], a34 = s[23], a44 = s[24];

// Writes a00..a44 back to s[0..24].
#define KECCAK_STORE_LANES(s)                                      \
  s[0] = a00, s[1] = a10, s[2] = a20, s[3] = a30, s[4] = a40;      \
  s[5] = a01, s[6] = a11, s[7] = a21, s[8] = a31, s[9] = a41;      \
  s[10] = a02, s[11] = a12, s[12] = a22, s[13] = a32, s[14] = a42; \
  s[15] = a03, s[16] = a13, s[17] = a23, s[18] = a33, s[19] = a43; \
  s[20] = a04, s[21] = a14, s[22] = a24, s[23] = a34, s[24] = a44;
