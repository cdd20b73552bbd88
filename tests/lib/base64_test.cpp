#include "lib/base64.hpp"

#include <gtest/gtest.h>

using namespace Sulvane::Base64;

TEST(Base64, EncodesAndDecodesStrictly) {
  struct {
    std::string bytes, text;
  } cases[] = {
      {"", ""},
      {"A", "QQ=="},
      {"AB", "QUI="},
      {"ABC", "QUJD"},
      {std::string("\0\xff\x10", 3), "AP8Q"},
      {std::string(100, 'x'), std::string(132, '\0')},  // long: no line breaks
  };
  for (auto& c : cases) {
    if (c.text[0] == '\0') c.text = Encode(c.bytes);
    EXPECT_EQ(Encode(c.bytes), c.text);
    EXPECT_EQ(c.text.find('\n'), std::string::npos);
    EXPECT_EQ(Decode(c.text), c.bytes) << c.text;
  }
  for (const char* bad : {"QQ=", "Q===", "QQ==QQ==", "QU I", " QUJD", "QUJD\n", "QU*D", "=QUJ"})
    EXPECT_EQ(Decode(bad), std::nullopt) << "'" << bad << "'";
}

TEST(Base64, BytesAsAscii) {
  EXPECT_EQ(BytesAsAscii("Gr\xc3\xb6\xc3\x9f"
                         "e"),
            "Gr????e");
  EXPECT_EQ(BytesAsAscii(std::string("a\0\x7f", 3)), std::string("a\0\x7f", 3));
}
