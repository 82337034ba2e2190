"""The documented argument rules of kyber_alg.Kyber, as plain Python: which
bytes an argument denotes and which exception a call that breaks a rule
raises.  Shared by the property tests and the fuzz harnesses."""

import hashlib
import string

Q = 3329
HEX_ARGUMENT_BYTES = {"pk": 800, "c": 768, "dk": 1632}
PARAMETERS = {"CCA_KeyGen_derand": ("d", "z"), "CCA_Enc": ("pk", "m"), "CCA_Dec": ("c", "dk")}


class Broken(Exception):
    """What the model predicts for an argument that breaks a rule: the types the
    call may raise."""

    def __init__(self, *types):
        super().__init__(types)
        self.types = types


def hex_argument(value, size):
    """The bytes a hex argument denotes (`size` bytes), or Broken."""
    if isinstance(value, str):
        if len(value) != 2 * size or any(ch not in string.hexdigits for ch in value):
            raise Broken(ValueError)
        return bytes.fromhex(value)
    try:
        raw = memoryview(value).tobytes()
    except TypeError:
        raise Broken(TypeError) from None
    if len(raw) != 2 * size or any(ch not in string.hexdigits.encode() for ch in raw):
        raise Broken(ValueError)
    return bytes.fromhex(raw.decode())


def raw_argument(value):
    if isinstance(value, str):
        raise Broken(TypeError)
    try:
        raw = memoryview(value).tobytes()
    except TypeError:
        raise Broken(TypeError) from None
    if len(raw) != 32:
        raise Broken(ValueError)
    return raw


def coefficients_below_q(ek):
    """FIPS 203 7.2: every 12-bit coefficient of the encoded t_hat is below q."""
    t_hat = ek[:768]
    for i in range(0, len(t_hat), 3):
        a, b, c = t_hat[i : i + 3]
        if (a | (b & 0x0F) << 8) >= Q or (b >> 4 | c << 4) >= Q:
            return False
    return True


def hash_check_passes(dk):
    """FIPS 203 7.3: the H(ek) stored in dk matches its ek part."""
    return hashlib.sha3_256(dk[768:1568]).digest() == dk[1568:1600]


def checked_arguments(name, args):
    """The bytes each argument of `name` denotes, or Broken with the exception
    types the call may raise (one per rule broken)."""
    read, broken = [], []
    for parameter, value in zip(PARAMETERS[name], args):
        try:
            if parameter in HEX_ARGUMENT_BYTES:
                read.append(hex_argument(value, HEX_ARGUMENT_BYTES[parameter]))
            else:
                read.append(raw_argument(value))
        except Broken as b:
            broken.extend(b.types)
    if broken:
        raise Broken(*broken)
    if name == "CCA_Enc" and not coefficients_below_q(read[0]):
        raise Broken(ValueError)
    if name == "CCA_Dec" and not hash_check_passes(read[1]):
        raise Broken(ValueError)
    return read
