#include "velmora/shell/function_table.hpp"

#include "velmora/module_name.hpp"
#include "velmora/scheme/scheme.hpp"
#include "velmora/text/text.hpp"

namespace kyber_alg::velmora {
namespace {

constexpr const char* kKeyGenLocals[] = {"len_para", "KEYs", "pk1", "sk1", "pk2", "sk2"};

constexpr const char* kEncParameters[] = {"pk"};
constexpr const char* kEncLocals[] = {"pk",    "pk1",   "pk2",   "len_para", "info11",  "m1",      "c_text1",
                                      "K_key", "sec_K", "info0", "sm33",     "sym_key", "c_text2", "sym_iv"};

constexpr const char* kDecParameters[] = {"c_text1", "c_text2", "sk"};
constexpr const char* kDecLocals[] = {"c_text1", "c_text2", "sk",    "sk1", "sk2",     "len_para",
                                      "sec_E",   "sec_K",   "info1", "sm3", "sym_key", "IV"};

constexpr const char* kXorParameters[] = {"hex_str1", "hex_str2"};
constexpr const char* kXorLocals[] = {"hex_str1",     "hex_str2",       "bytes1",  "bytes2",
                                      "result_bytes", "result_hex_str", "genexpr", "genexpr"};

constexpr const char* kSm4Parameters[] = {"key", "IV", "data"};
constexpr const char* kSm4EncodeLocals[] = {"key", "IV", "data", "sm4Alg", "dateStr", "enRes", "enHexStr"};
constexpr const char* kSm4DecodeLocals[] = {"key", "IV", "data", "sm4Alg", "deRes", "deHexStr"};

constexpr Annotation kKeyGenAnnotations[] = {{"return", "Tuple[str, str]"}};
constexpr Annotation kEncAnnotations[] = {{"pk", "str"}};
constexpr Annotation kDecAnnotations[] = {{"return", "[str, str]"}};
constexpr Annotation kXorAnnotations[] = {{"hex_str1", "str"}, {"hex_str2", "str"}};

constexpr const char kKeyGenDoc[] =
    "\n"
    "    Generates the public key and private key for the hybrid encryption scheme.\n"
    "\n"
    "    Returns:\n"
    "        Tuple containing the public key and private key.\n"
    "        - pk (bytes): Public key containing two parts of information.\n"
    "        - sk (bytes): Private key containing two parts of information,\n"
    "          private key for Kyber algorithm and private key for SM2 encryption.\n"
    "    ";

constexpr const char kEncDoc[] =
    "\n"
    "    Encrypts the given message using the hybrid encryption scheme.\n"
    "\n"
    "    Args:\n"
    "        - pk (bytes): Public key containing two parts of information, Kyber pk || SM2 pk .\n"
    "        - msg (list): List of messages to be encrypted.\n"
    "\n"
    "    Returns:\n"
    "        Tuple containing the encrypted ciphertext, symmetric key, and encrypted message.\n"
    "        - c_text (bytes): Encrypted ciphertext containing two parts of information,\n"
    "          ciphertext encrypted using Kyber algorithm and ciphertext encrypted using SM2 encryption.\n"
    "        - sym_key (str): Symmetric key used for encryption.\n"
    "        - msg_enc (list): Encrypted message.\n"
    "    ";

constexpr const char kDecDoc[] =
    "\n"
    "    Decrypts the given ciphertext using the hybrid encryption scheme.\n"
    "\n"
    "    Args:\n"
    "        - c_text (bytes): Ciphertext to be decrypted, containing two parts of information,\n"
    "          ciphertext encrypted using Kyber algorithm and ciphertext encrypted using SM2 encryption.\n"
    "        - sk (bytes): Private key containing two parts of information,\n"
    "          private key for Kyber algorithm and private key for SM2 encryption.\n"
    "        - msg_enc (list): Encrypted message.\n"
    "\n"
    "    Returns:\n"
    "        Decrypted message.\n"
    "    ";

constexpr const char kXorDoc[] =
    "\n"
    "    Performs a bitwise XOR operation on two hexadecimal strings.\n"
    "\n"
    "    Args:\n"
    "        hex_str1 (str): The first hexadecimal string.\n"
    "        hex_str2 (str): The second hexadecimal string.\n"
    "\n"
    "    Returns:\n"
    "        The result of the XOR operation as a hexadecimal string.\n"
    "    ";

constexpr const char kSm4EncodeDoc[] =
    "\n"
    "    Encrypts the given data using the SM4 encryption algorithm.\n"
    "\n"
    "    Args:\n"
    "        key (str): The encryption key.\n"
    "        data (str): The data to be encrypted.\n"
    "\n"
    "    Returns:\n"
    "        The encrypted data as a hexadecimal string.\n"
    "        :param key:\n"
    "        :param data:\n"
    "        :param IV:\n"
    "    ";

PyObject* run_key_gen_hybrid(Namespace& n, PyObject* const*) { return key_gen_hybrid(n).release(); }
PyObject* run_enc_hybrid(Namespace& n, PyObject* const* a) { return enc_hybrid(n, a[0]).release(); }
PyObject* run_dec_hybrid(Namespace& n, PyObject* const* a) {
  return dec_hybrid(n, a[0], a[1], a[2]).release();
}
PyObject* run_xor_hex_strings(Namespace& n, PyObject* const* a) {
  return xor_hex_strings(n, a[0], a[1]).release();
}
PyObject* run_sm4_encode(Namespace& n, PyObject* const* a) {
  return sm4_encode(n, a[0], a[1], a[2]).release();
}
PyObject* run_sm4_decode(Namespace& n, PyObject* const* a) {
  return sm4_decode(n, a[0], a[1], a[2]).release();
}

constexpr std::span<const char* const> kNoParameters;
constexpr std::span<const Annotation> kNoAnnotations;

constexpr FunctionSpec kFunctions[] = {
    {"key_gen_hybrid", VELMORA_MODULE_NAME ".key_gen_hybrid", kNoParameters, kKeyGenLocals, 0,
     kKeyGenAnnotations, kKeyGenDoc, run_key_gen_hybrid},
    {"enc_hybrid", VELMORA_MODULE_NAME ".enc_hybrid", kEncParameters, kEncLocals, 0b1, kEncAnnotations,
     kEncDoc, run_enc_hybrid},
    {"dec_hybrid", VELMORA_MODULE_NAME ".dec_hybrid", kDecParameters, kDecLocals, 0, kDecAnnotations, kDecDoc,
     run_dec_hybrid},
    {"xor_hex_strings", VELMORA_MODULE_NAME ".xor_hex_strings", kXorParameters, kXorLocals, 0b11,
     kXorAnnotations, kXorDoc, run_xor_hex_strings},
    {"sm4_encode", VELMORA_MODULE_NAME ".sm4_encode", kSm4Parameters, kSm4EncodeLocals, 0, kNoAnnotations,
     kSm4EncodeDoc, run_sm4_encode},
    {"sm4_decode", VELMORA_MODULE_NAME ".sm4_decode", kSm4Parameters, kSm4DecodeLocals, 0, kNoAnnotations,
     nullptr, run_sm4_decode},
};

}  // namespace

std::span<const FunctionSpec> function_table() { return kFunctions; }

}  // namespace kyber_alg::velmora
