// Base64 (standard alphabet, "=" padding, no line breaks) over OpenSSL.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace Sulvane::Base64 {

std::string Encode(std::string_view bytes);
// The decoded bytes; none when the text is not valid Base64 (a character
// outside the alphabet, a length that is not a multiple of 4, misplaced "=").
std::optional<std::string> Decode(std::string_view text);
// Bytes taken as ASCII characters: a byte above 127 becomes "?".
std::string BytesAsAscii(std::string_view bytes);

}  // namespace Sulvane::Base64
