#include "lib/vuxcrypto.hpp"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <array>
#include <memory>
#include <optional>

#include "lib/base64.hpp"

namespace Sulvane::VUXCrypto::AES {

namespace {

constexpr std::size_t kBlock = 16;
constexpr std::size_t kKeySize = 32;

// The key, wiped when it goes out of scope.
class TKey {
 public:
  explicit TKey(std::string_view passphrase) {
    unsigned int size = 0;
    if (EVP_Digest(passphrase.data(), passphrase.size(), bytes_.data(), &size, EVP_sha256(),
                   nullptr) != 1 ||
        size != kKeySize)
      throw ECryptoError("Telegrammschlüssel konnte nicht berechnet werden (SHA-256).");
  }
  ~TKey() { OPENSSL_cleanse(bytes_.data(), bytes_.size()); }
  TKey(const TKey&) = delete;
  TKey& operator=(const TKey&) = delete;

  const unsigned char* Data() const { return bytes_.data(); }

 private:
  std::array<unsigned char, kKeySize> bytes_;
};

const unsigned char* Bytes(std::string_view bytes) {
  return reinterpret_cast<const unsigned char*>(bytes.data());
}

unsigned char* Bytes(std::string& bytes) { return reinterpret_cast<unsigned char*>(bytes.data()); }

// AES-256-CFB128 over input, written to out + offset (room for input.size()
// bytes). CFB is a stream mode: the output is as long as the input.
void Cipher(bool encrypt, const TKey& key, std::string_view iv, std::string_view input,
            std::string& out, std::size_t offset) {
  const std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                            EVP_CIPHER_CTX_free);
  int written = 0, final_written = 0;
  if (ctx == nullptr ||
      EVP_CipherInit_ex(ctx.get(), EVP_aes_256_cfb128(), nullptr, key.Data(), Bytes(iv),
                        encrypt ? 1 : 0) != 1 ||
      EVP_CipherUpdate(ctx.get(), Bytes(out) + offset, &written, Bytes(input),
                       static_cast<int>(input.size())) != 1 ||
      EVP_CipherFinal_ex(ctx.get(), Bytes(out) + offset + written, &final_written) != 1 ||
      static_cast<std::size_t>(written + final_written) != input.size())
    throw ECryptoError(encrypt ? "Telegramm konnte nicht verschlüsselt werden (AES)."
                               : "Telegramm konnte nicht entschlüsselt werden (AES).");
}

}  // namespace

std::string EncryptTextWithIV(std::string_view text, std::string_view passphrase,
                              std::string_view iv) {
  if (iv.size() != kBlock)
    throw ECryptoError("Der Initialisierungsvektor muss 16 Bytes lang sein, nicht " +
                       std::to_string(iv.size()) + ".");
  // PKCS#7: 1..16 bytes, each holding their count; a whole block when the
  // text fills its last block already.
  const std::size_t padding = kBlock - text.size() % kBlock;
  std::string plain;
  plain.reserve(text.size() + padding);
  plain.append(text).append(padding, static_cast<char>(padding));

  const TKey key(passphrase);
  std::string message(kBlock + plain.size(), '\0');
  message.replace(0, kBlock, iv);
  Cipher(true, key, iv, plain, message, kBlock);
  OPENSSL_cleanse(plain.data(), plain.size());
  return Base64::Encode(message);
}

std::string EncryptText(std::string_view text, std::string_view passphrase) {
  std::array<unsigned char, kBlock> iv;
  if (RAND_bytes(iv.data(), static_cast<int>(iv.size())) != 1)
    throw ECryptoError("Zufallszahlen für den Initialisierungsvektor fehlen (RAND_bytes).");
  return EncryptTextWithIV(text, passphrase,
                           std::string_view(reinterpret_cast<const char*>(iv.data()), iv.size()));
}

std::string DecryptText(std::string_view text, std::string_view passphrase) {
  const std::optional<std::string> message = Base64::Decode(text);
  if (!message) throw ECryptoError("Telegramm ist kein gültiges Base64.");
  // The IV and at least one block: a telegram carries its padding at least.
  if (message->size() <= kBlock || message->size() % kBlock != 0)
    throw ECryptoError("Telegramm hat eine ungültige Länge (" + std::to_string(message->size()) +
                       " Bytes).");

  const std::string_view iv = std::string_view(*message).substr(0, kBlock);
  const std::string_view data = std::string_view(*message).substr(kBlock);
  const TKey key(passphrase);
  std::string plain(data.size(), '\0');
  Cipher(false, key, iv, data, plain, 0);

  // Only the last byte counts; 0 removes nothing.
  const unsigned padding = static_cast<unsigned char>(plain.back());
  if (padding > kBlock)
    throw ECryptoError("Telegramm hat eine ungültige Auffüllung (" + std::to_string(padding) +
                       ").");
  plain.resize(plain.size() - padding);
  return plain;
}

}  // namespace Sulvane::VUXCrypto::AES
