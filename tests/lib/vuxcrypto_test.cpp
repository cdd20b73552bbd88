#include "lib/vuxcrypto.hpp"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "lib/base64.hpp"
#include "support/tempdir.hpp"

namespace Sulvane::VUXCrypto::AES {
namespace {

using namespace std::string_literals;

// "Größe Ä Ü ß": 16 UTF-8 bytes.
const std::string kUmlauts =
    "Gr\xc3\xb6\xc3\x9f"
    "e \xc3\x84 \xc3\x9c \xc3\x9f";
const std::string kIV = "\x00\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\xff"s;

std::string Decoded(const std::string& text) {
  const std::optional<std::string> bytes = Base64::Decode(text);
  return bytes.value_or("<not Base64>");
}

std::string Padded(std::string_view text) {
  const std::size_t padding = 16 - text.size() % 16;
  return std::string(text).append(padding, static_cast<char>(padding));
}

// A message (Base64 of IV and cipher bytes) of raw plain bytes, encrypted
// with EVP directly: lets a test choose the decrypted bytes, padding included.
std::string RawMessage(std::string_view plain, std::string_view passphrase,
                       const std::string& iv = kIV) {
  unsigned char key[32];
  unsigned int key_size = 0;
  EXPECT_EQ(EVP_Digest(passphrase.data(), passphrase.size(), key, &key_size, EVP_sha256(), nullptr),
            1);
  const std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(),
                                                                            EVP_CIPHER_CTX_free);
  std::string cipher(plain.size(), '\0');
  int n = 0;
  EXPECT_EQ(EVP_EncryptInit_ex(ctx.get(), EVP_aes_256_cfb128(), nullptr, key,
                               reinterpret_cast<const unsigned char*>(iv.data())),
            1);
  EXPECT_EQ(EVP_EncryptUpdate(ctx.get(), reinterpret_cast<unsigned char*>(cipher.data()), &n,
                              reinterpret_cast<const unsigned char*>(plain.data()),
                              static_cast<int>(plain.size())),
            1);
  EXPECT_EQ(static_cast<std::size_t>(n), plain.size());
  return Base64::Encode(iv + cipher);
}

std::string Hex(std::string_view bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char c : bytes) hex.append({kDigits[c >> 4], kDigits[c & 15]});
  return hex;
}

// Standard output of a shell command; none when it fails.
std::optional<std::string> RunTool(const std::string& command) {
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return std::nullopt;
  std::string out;
  char buffer[4096];
  while (std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) out.append(buffer, n);
  if (pclose(pipe) != 0) return std::nullopt;
  return out;
}

bool HaveOpenSSLTool() { return std::system("command -v openssl >/dev/null 2>&1") == 0; }

std::string Quoted(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

TEST(VUXCrypto, MessageLengthFollowsTheTextLength) {
  struct {
    std::string text;
    std::size_t base64, bytes;
  } cases[] = {
      {"", 44, 32},
      {"a", 44, 32},
      {std::string(15, 'x'), 44, 32},
      {std::string(16, 'x'), 64, 48},  // a whole padding block
      {std::string(17, 'x'), 64, 48},
      {kUmlauts, 64, 48},
      {std::string(500, 'z'), 704, 528},
  };
  for (const auto& c : cases) {
    const std::string message = EncryptText(c.text, kTelegramPassphrase);
    SCOPED_TRACE("text of " + std::to_string(c.text.size()) + " bytes: " + message);
    EXPECT_EQ(message.size(), c.base64);
    EXPECT_EQ(Decoded(message).size(), c.bytes);
    EXPECT_EQ(DecryptText(message, kTelegramPassphrase), c.text);
  }
}

TEST(VUXCrypto, EveryEncryptionHasAFreshIV) {
  const std::string first = EncryptText("EINSATZ|UPDATE|4711", kTelegramPassphrase);
  const std::string second = EncryptText("EINSATZ|UPDATE|4711", kTelegramPassphrase);
  EXPECT_NE(first, second);
  EXPECT_NE(Decoded(first).substr(0, 16), Decoded(second).substr(0, 16)) << "the IVs";
  EXPECT_EQ(DecryptText(first, kTelegramPassphrase), "EINSATZ|UPDATE|4711");
  EXPECT_EQ(DecryptText(second, kTelegramPassphrase), "EINSATZ|UPDATE|4711");
}

TEST(VUXCrypto, RoundTripsUTF8TextAndPassphrases) {
  for (const std::string& passphrase : {std::string(kTelegramPassphrase), "Schl\xc3\xbcssel"s, ""s})
    for (const std::string& text : {kUmlauts, "EINSATZ|UPDATE|4711"s, "\x06"s}) {
      const std::string message = EncryptText(text, passphrase);
      EXPECT_EQ(DecryptText(message, passphrase), text) << "passphrase '" << passphrase << "'";
    }
  // Same IV, different pass phrase: a different key.
  EXPECT_NE(EncryptTextWithIV(kUmlauts, "a", kIV), EncryptTextWithIV(kUmlauts, "b", kIV));
}

TEST(VUXCrypto, RejectsMalformedTelegrams) {
  struct {
    std::string text, error;
  } cases[] = {
      {"kein Base64!", "Telegramm ist kein gültiges Base64."},
      {"QUJD\n", "Telegramm ist kein gültiges Base64."},
      {"", "Telegramm hat eine ungültige Länge (0 Bytes)."},
      {Base64::Encode(std::string(15, 'x')), "Telegramm hat eine ungültige Länge (15 Bytes)."},
      {Base64::Encode(std::string(16, 'x')), "Telegramm hat eine ungültige Länge (16 Bytes)."},
      {Base64::Encode(std::string(20, 'x')), "Telegramm hat eine ungültige Länge (20 Bytes)."},
      {Base64::Encode(std::string(47, 'x')), "Telegramm hat eine ungültige Länge (47 Bytes)."},
      {RawMessage(std::string(15, 'x') + "\x11", kTelegramPassphrase),
       "Telegramm hat eine ungültige Auffüllung (17)."},
      {RawMessage(std::string(31, 'x') + "\xff", kTelegramPassphrase),
       "Telegramm hat eine ungültige Auffüllung (255)."},
  };
  for (const auto& c : cases) {
    try {
      DecryptText(c.text, kTelegramPassphrase);
      ADD_FAILURE() << "decrypted: '" << c.text << "'";
    } catch (const ECryptoError& e) {
      EXPECT_EQ(std::string(e.what()), c.error) << "'" << c.text << "'";
    }
  }
  EXPECT_THROW(EncryptTextWithIV("a", kTelegramPassphrase, "short"), ECryptoError);
}

TEST(VUXCrypto, RemovesAsManyBytesAsTheLastByteSays) {
  struct {
    std::string plain, text;
  } cases[] = {
      {"ABCDEFGHIJKLMNO\x00"s, "ABCDEFGHIJKLMNO\x00"s},  // 0: nothing removed
      {"ABCDEFGHIJKLMNO\x01"s, "ABCDEFGHIJKLMNO"},       //
      {"ABCDEFGHIJKxyz\x07\x05"s, "ABCDEFGHIJK"},        // other padding bytes not examined
      {std::string(16, '\x10'), ""},                     // a whole padding block
      {"ABCDEFGHIJKLMNO\x10"s, ""},                      //
      {"0123456789abcdef" + std::string(16, '\x10'), "0123456789abcdef"},
      {"0123456789abcdefXYZ" + std::string(12, '\x0d') + "\x10"s, "0123456789abcdef"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(DecryptText(RawMessage(c.plain, kTelegramPassphrase), kTelegramPassphrase), c.text)
        << Hex(c.plain);
}

TEST(VUXCrypto, ConcurrentUseSharesNothing) {
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([t, &failures] {
      const std::string text = "Telegramm " + std::to_string(t);
      for (int i = 0; i < 200; ++i)
        if (DecryptText(EncryptText(text, kTelegramPassphrase), kTelegramPassphrase) != text)
          ++failures[t];
    });
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
}

// The openssl command line tool as the independent implementation: the same
// key from `openssl dgst`, the same cipher bytes from `openssl enc`.
TEST(VUXCrypto, InteroperatesWithTheOpenSSLTool) {
  if (!HaveOpenSSLTool()) GTEST_SKIP() << "no openssl binary";
  const testsupport::TempDir dir;
  for (const std::string& passphrase : {std::string(kTelegramPassphrase), "Schl\xc3\xbcssel"s}) {
    testsupport::WriteFile(dir / "passphrase", passphrase);
    const std::optional<std::string> digest =
        RunTool("openssl dgst -sha256 -r " + Quoted(dir / "passphrase"));
    ASSERT_TRUE(digest) << "openssl dgst";
    const std::string key = digest->substr(0, 64);
    ASSERT_EQ(key.find_first_not_of("0123456789abcdef"), std::string::npos) << *digest;

    for (const std::string& text : {""s, "0123456789abcdef"s, kUmlauts, "EINSATZ|UPDATE|4711"s,
                                    std::string(500, 'L') + "\xc3\xa4"}) {
      SCOPED_TRACE("passphrase '" + passphrase + "', text '" + text + "'");
      const std::string enc =
          "openssl enc -aes-256-cfb -nopad -K " + key + " -in " + Quoted(dir / "plain") + " -iv ";

      // Ours encrypted equals the tool's.
      testsupport::WriteFile(dir / "plain", Padded(text));
      const std::optional<std::string> cipher = RunTool(enc + Hex(kIV));
      ASSERT_TRUE(cipher) << "openssl enc";
      EXPECT_EQ(EncryptTextWithIV(text, passphrase, kIV), Base64::Encode(kIV + *cipher));

      // The tool's decrypts with ours.
      const std::string iv = "fedcba9876543210";
      const std::optional<std::string> theirs = RunTool(enc + Hex(iv));
      ASSERT_TRUE(theirs) << "openssl enc";
      EXPECT_EQ(DecryptText(Base64::Encode(iv + *theirs), passphrase), text);
    }
  }
}

}  // namespace
}  // namespace Sulvane::VUXCrypto::AES
