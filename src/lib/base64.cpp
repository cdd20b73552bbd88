#include "lib/base64.hpp"

#include <openssl/evp.h>

#include <algorithm>

namespace Sulvane::Base64 {

namespace {

bool IsAlphabet(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
         c == '/';
}

// OpenSSL's decoder is lax (white space, "=" anywhere); the service accepts
// only well-formed text.
bool IsStrictBase64(std::string_view text) {
  if (text.size() % 4 != 0) return false;
  std::size_t padding = 0;
  while (padding < 2 && padding < text.size() && text[text.size() - 1 - padding] == '=') ++padding;
  return std::all_of(text.begin(), text.end() - padding, IsAlphabet);
}

}  // namespace

std::string Encode(std::string_view bytes) {
  std::string out(4 * ((bytes.size() + 2) / 3), '\0');
  const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                reinterpret_cast<const unsigned char*>(bytes.data()),
                                static_cast<int>(bytes.size()));
  out.resize(static_cast<std::size_t>(n));
  return out;
}

std::optional<std::string> Decode(std::string_view text) {
  if (!IsStrictBase64(text)) return std::nullopt;
  if (text.empty()) return std::string();
  std::string out(3 * (text.size() / 4), '\0');
  const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                reinterpret_cast<const unsigned char*>(text.data()),
                                static_cast<int>(text.size()));
  if (n < 0) return std::nullopt;
  // EVP_DecodeBlock counts the padding as data.
  const std::size_t padding = static_cast<std::size_t>(std::count(text.end() - 2, text.end(), '='));
  out.resize(static_cast<std::size_t>(n) - padding);
  return out;
}

std::string BytesAsAscii(std::string_view bytes) {
  std::string out(bytes);
  for (char& c : out)
    if (static_cast<unsigned char>(c) > 127) c = '?';
  return out;
}

}  // namespace Sulvane::Base64
