// The telegram cipher shared by the VUX server and every workstation.
//
// A telegram travels as Base64 (standard alphabet, "=" padding, no line
// breaks) of: a fresh 16-byte IV, then the text's UTF-8 bytes padded PKCS#7
// to whole 16-byte blocks and encrypted with AES-256-CFB128. The key is the
// SHA-256 of the pass phrase's UTF-8 bytes. A message of n text bytes is
// 16 + 16 * (n / 16 + 1) bytes long.
//
// No shared state: every function may be called from any thread.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace Sulvane::VUXCrypto::AES {

// The pass phrase of the telegram link.
inline constexpr std::string_view kTelegramPassphrase =
    "p3n7vq0mz5kx2rw8ty4lc6hb1ge9oa3nm7qp5vz2xk8rt0wy";

// A telegram that cannot be decrypted, or a failure of OpenSSL; the message is
// German and meant for the log.
class ECryptoError : public std::runtime_error {
 public:
  using runtime_error::runtime_error;
};

// The Base64 message of text under a fresh random IV.
std::string EncryptText(std::string_view text, std::string_view passphrase);
// The text of a Base64 message. Throws ECryptoError when the message is not
// Base64, its length is not a whole number of blocks after the IV (an IV
// alone is too short), or the last byte announces more than 16 padding bytes.
// The other padding bytes are not examined and a wrong pass phrase is not
// detected: it yields garbage text.
std::string DecryptText(std::string_view text, std::string_view passphrase);
// EncryptText with a given 16-byte IV, for the tests only; throws ECryptoError
// for an IV of another length.
std::string EncryptTextWithIV(std::string_view text, std::string_view passphrase,
                              std::string_view iv);

}  // namespace Sulvane::VUXCrypto::AES
