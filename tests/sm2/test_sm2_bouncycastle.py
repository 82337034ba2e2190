"""kyber_alg.sm2 against BouncyCastle (Debian's libbcprov-java) both ways, through a small Java program
compiled here at run time: BouncyCastle's default Cipher "SM2" (C1C2C3 with the 04 byte, not DER),
Signature "SM3withSM2" (DER, ID 1234567812345678), its X.509 / PKCS#8 DER keys, and certificates
(kyber_alg.x509) both ways.

The jar is the one named by KYBER_ALG_BCPROV_JAR, or the one Debian's package installed (dpkg -L);
without javac, java or the jar the tests are skipped with the reason."""

from __future__ import annotations

import datetime
import os
import shutil
import subprocess
from pathlib import Path

import pytest
from cryptography import x509 as cx
from cryptography.hazmat.primitives.serialization import Encoding

from kyber_alg import sm2, x509
from kyber_alg.exceptions import InvalidSignature

PEER = r"""
import java.io.BufferedReader;
import java.io.ByteArrayInputStream;
import java.io.InputStreamReader;
import java.math.BigInteger;
import java.security.*;
import java.security.cert.CertificateFactory;
import java.security.cert.X509Certificate;
import java.security.spec.*;
import java.util.Date;
import java.util.HexFormat;
import javax.crypto.Cipher;
import org.bouncycastle.asn1.ASN1EncodableVector;
import org.bouncycastle.asn1.ASN1Integer;
import org.bouncycastle.asn1.DERBitString;
import org.bouncycastle.asn1.DERSequence;
import org.bouncycastle.asn1.gm.GMObjectIdentifiers;
import org.bouncycastle.asn1.x500.X500Name;
import org.bouncycastle.asn1.x509.AlgorithmIdentifier;
import org.bouncycastle.asn1.x509.SubjectPublicKeyInfo;
import org.bouncycastle.asn1.x509.TBSCertificate;
import org.bouncycastle.asn1.x509.Time;
import org.bouncycastle.asn1.x509.V3TBSCertificateGenerator;
import org.bouncycastle.jce.provider.BouncyCastleProvider;

/** One request per line on stdin, one hex answer per line on stdout. */
public class Sm2Peer {
    public static void main(String[] args) throws Exception {
        Security.addProvider(new BouncyCastleProvider());
        KeyFactory keys = KeyFactory.getInstance("EC", "BC");
        HexFormat hex = HexFormat.of();
        BufferedReader in = new BufferedReader(new InputStreamReader(System.in));
        for (String line; (line = in.readLine()) != null; ) {
            String[] f = line.trim().split(" ");
            String out;
            switch (f[0]) {
                case "generate": {
                    KeyPairGenerator g = KeyPairGenerator.getInstance("EC", "BC");
                    g.initialize(new ECGenParameterSpec("sm2p256v1"));
                    KeyPair pair = g.generateKeyPair();
                    out = hex.formatHex(pair.getPublic().getEncoded()) + " "
                        + hex.formatHex(pair.getPrivate().getEncoded());
                    break;
                }
                case "encrypt": {
                    Cipher c = Cipher.getInstance("SM2", "BC");
                    c.init(Cipher.ENCRYPT_MODE, keys.generatePublic(new X509EncodedKeySpec(hex.parseHex(f[1]))));
                    out = hex.formatHex(c.doFinal(hex.parseHex(f[2])));
                    break;
                }
                case "decrypt": {
                    Cipher c = Cipher.getInstance("SM2", "BC");
                    c.init(Cipher.DECRYPT_MODE, keys.generatePrivate(new PKCS8EncodedKeySpec(hex.parseHex(f[1]))));
                    try {
                        out = hex.formatHex(c.doFinal(hex.parseHex(f[2])));
                    } catch (Exception e) {
                        out = "error";
                    }
                    break;
                }
                case "sign": {
                    Signature s = Signature.getInstance("SM3withSM2", "BC");
                    s.initSign(keys.generatePrivate(new PKCS8EncodedKeySpec(hex.parseHex(f[1]))));
                    s.update(hex.parseHex(f[2]));
                    out = hex.formatHex(s.sign());
                    break;
                }
                case "verify": {
                    Signature s = Signature.getInstance("SM3withSM2", "BC");
                    s.initVerify(keys.generatePublic(new X509EncodedKeySpec(hex.parseHex(f[1]))));
                    s.update(hex.parseHex(f[2]));
                    out = Boolean.toString(s.verify(hex.parseHex(f[3])));
                    break;
                }
                case "certverify": {  // certificate DER, issuer key SPKI
                    CertificateFactory factory = CertificateFactory.getInstance("X.509", "BC");
                    X509Certificate cert = (X509Certificate) factory.generateCertificate(
                        new ByteArrayInputStream(hex.parseHex(f[1])));
                    try {
                        cert.verify(keys.generatePublic(new X509EncodedKeySpec(hex.parseHex(f[2]))), "BC");
                        out = "true " + cert.getSigAlgName();
                    } catch (SignatureException e) {
                        out = "false";
                    }
                    break;
                }
                case "certmake": {  // issuer PKCS#8, subject SPKI: a certificate from BouncyCastle's own encoders
                    AlgorithmIdentifier sm3WithSm2 = new AlgorithmIdentifier(GMObjectIdentifiers.sm2sign_with_sm3);
                    V3TBSCertificateGenerator g = new V3TBSCertificateGenerator();
                    g.setSerialNumber(new ASN1Integer(BigInteger.valueOf(4242)));
                    g.setSignature(sm3WithSm2);
                    g.setIssuer(new X500Name("C=CN,O=BouncyCastle,CN=BC Issuer"));
                    g.setSubject(new X500Name("C=CN,O=BouncyCastle,CN=BC Subject"));
                    g.setStartDate(new Time(new Date(System.currentTimeMillis() - 3600000L)));
                    g.setEndDate(new Time(new Date(System.currentTimeMillis() + 86400000L)));
                    g.setSubjectPublicKeyInfo(SubjectPublicKeyInfo.getInstance(hex.parseHex(f[2])));
                    TBSCertificate tbs = g.generateTBSCertificate();
                    Signature s = Signature.getInstance("SM3withSM2", "BC");
                    s.initSign(keys.generatePrivate(new PKCS8EncodedKeySpec(hex.parseHex(f[1]))));
                    s.update(tbs.getEncoded("DER"));
                    ASN1EncodableVector cert = new ASN1EncodableVector();
                    cert.add(tbs);
                    cert.add(sm3WithSm2);
                    cert.add(new DERBitString(s.sign()));
                    out = hex.formatHex(new DERSequence(cert).getEncoded("DER"));
                    break;
                }
                default:
                    out = "unknown request";
            }
            System.out.println(out);
        }
    }
}
"""


def _bcprov_jar() -> str | None:
    named = os.environ.get("KYBER_ALG_BCPROV_JAR")
    if named:
        return named
    if shutil.which("dpkg") is None:
        return None
    listing = subprocess.run(["dpkg", "-L", "libbcprov-java"], capture_output=True, text=True)
    jars = [
        line for line in listing.stdout.splitlines() if Path(line).name.startswith("bcprov") and line.endswith(".jar")
    ]
    return jars[0] if jars else None


def _missing() -> str | None:
    for tool in ("javac", "java"):
        if shutil.which(tool) is None:
            return f"no {tool} (Debian: apt-get install default-jdk-headless)"
    if _bcprov_jar() is None:
        return "no BouncyCastle provider jar (Debian: apt-get install libbcprov-java, or set KYBER_ALG_BCPROV_JAR)"
    return None


pytestmark = pytest.mark.skipif(_missing() is not None, reason=_missing() or "")


class BouncyCastle:
    """The Java peer: every request of one test goes to one JVM run."""

    def __init__(self, folder: Path) -> None:
        self.classpath = os.pathsep.join([str(_bcprov_jar()), str(folder)])

    def ask(self, *requests: str) -> list[str]:
        result = subprocess.run(
            ["java", "-cp", self.classpath, "Sm2Peer"],
            input="\n".join(requests) + "\n",
            capture_output=True,
            text=True,
            timeout=120,
        )
        assert result.returncode == 0, result.stderr
        return result.stdout.split("\n")[: len(requests)]


@pytest.fixture(scope="module")
def bc(tmp_path_factory) -> BouncyCastle:
    folder = tmp_path_factory.mktemp("bouncycastle")
    (folder / "Sm2Peer.java").write_text(PEER, encoding="utf-8")
    compiled = subprocess.run(
        ["javac", "-cp", str(_bcprov_jar()), "-d", str(folder), str(folder / "Sm2Peer.java")],
        capture_output=True,
        text=True,
        timeout=300,
    )
    assert compiled.returncode == 0, compiled.stderr
    return BouncyCastle(folder)


def _der_keys(key: sm2.SM2PrivateKey) -> tuple[str, str]:
    return key.public_key().public_bytes("der").hex(), key.private_bytes("der").hex()


def test_bouncycastle_keys_load_here_and_ours_load_there(bc):
    bc_public, bc_private = bc.ask("generate")[0].split()
    key = sm2.load_der_private_key(bytes.fromhex(bc_private))  # PKCS#8
    assert sm2.load_der_public_key(bytes.fromhex(bc_public)) == key.public_key()  # X.509 SubjectPublicKeyInfo
    message = b"keys both ways"
    ours = sm2.SM2PrivateKey.generate()
    public, private = _der_keys(ours)
    (signed,) = bc.ask(f"sign {private} {message.hex()}")
    ours.public_key().verify(bytes.fromhex(signed), message)


def test_default_cipher_is_c1c2c3_both_ways(bc):
    key = sm2.SM2PrivateKey.generate()
    public, private = _der_keys(key)
    message = b"BouncyCastle's Cipher SM2 writes C1 || C2 || C3"
    theirs, back, as_der = bc.ask(
        f"encrypt {public} {message.hex()}",
        f"decrypt {private} {key.public_key().encrypt(message, 'c1c2c3').hex()}",
        f"decrypt {private} {key.public_key().encrypt(message, 'der').hex()}",
    )
    ciphertext = bytes.fromhex(theirs)
    assert ciphertext[0] == 0x04 and len(ciphertext) == 97 + len(message)
    assert key.decrypt(ciphertext, "c1c2c3") == message
    assert bytes.fromhex(back) == message
    # Neither the other raw order nor DER is what it reads or writes.
    for wrong in ("c1c3c2", "der"):
        with pytest.raises(sm2.DecryptionError):
            key.decrypt(ciphertext, wrong)
    assert as_der == "error"


def test_sm3withsm2_uses_the_standard_id_both_ways(bc):
    key = sm2.SM2PrivateKey.generate()
    public, private = _der_keys(key)
    message = b"SM3withSM2, ID 1234567812345678"
    theirs, ours_ok, empty_id = bc.ask(
        f"sign {private} {message.hex()}",
        f"verify {public} {message.hex()} {key.sign(message).hex()}",
        f"verify {public} {message.hex()} {key.sign(message, uid=b'').hex()}",
    )
    key.public_key().verify(bytes.fromhex(theirs), message)  # DER, default ID
    with pytest.raises(InvalidSignature):
        key.public_key().verify(bytes.fromhex(theirs), message, uid=b"")
    assert (ours_ok, empty_id) == ("true", "false")


def _self_signed(key: sm2.SM2PrivateKey, name: cx.Name) -> cx.Certificate:
    now = datetime.datetime.now(datetime.UTC)
    return (
        x509.CertificateBuilder()
        .subject_name(name)
        .issuer_name(name)
        .public_key(key.public_key())
        .serial_number(1)
        .not_valid_before(now - datetime.timedelta(hours=1))
        .not_valid_after(now + datetime.timedelta(days=1))
        .sign(key)
    )


def test_certificates_both_ways(bc):
    ca_key, subject_key = sm2.SM2PrivateKey.generate(), sm2.SM2PrivateKey.generate()
    ca_public, ca_private = _der_keys(ca_key)
    subject_public, _ = _der_keys(subject_key)
    (made_there,) = bc.ask(f"certmake {ca_private} {subject_public}")
    theirs = cx.load_der_x509_certificate(bytes.fromhex(made_there))  # BouncyCastle's own encoding throughout
    assert theirs.issuer.rfc4514_string() == "CN=BC Issuer,O=BouncyCastle,C=CN"
    assert x509.public_key(theirs) == subject_key.public_key()
    ours = _self_signed(ca_key, theirs.issuer)
    x509.verify_directly_issued_by(theirs, ours)
    with pytest.raises(InvalidSignature):
        x509.verify_directly_issued_by(theirs, _self_signed(subject_key, theirs.issuer))
    der = ours.public_bytes(Encoding.DER).hex()
    verdict, wrong_key = bc.ask(f"certverify {der} {ca_public}", f"certverify {der} {subject_public}")
    assert verdict == "true SM3WITHSM2" and wrong_key == "false"
