#include "lib/datenverarbeitung.hpp"

#include <gtest/gtest.h>

using Sulvane::Datenverarbeitung::splitstring;
using Fields = std::vector<std::string>;

TEST(Splitstring, SplitsAtEverySeparator) {
  struct {
    std::string text;
    Fields fields;
  } cases[] = {
      {"EINSATZ|UPDATE|4711", {"EINSATZ", "UPDATE", "4711"}},
      {"EINSATZ|NEW|4711|x", {"EINSATZ", "NEW", "4711", "x"}},
      {"a||b|", {"a", "", "b", ""}},
      {"", {}},
      {"|", {"", ""}},
      {"abc", {"abc"}},
      {" a | b ", {" a ", " b "}},  // not trimmed
      {"a\"b|c", {"a\"b", "c"}},    // a quote inside a field is an ordinary character
      {"a|b\"", {"a", "b\""}},
  };
  for (const auto& c : cases) EXPECT_EQ(splitstring(c.text, '|'), c.fields) << "'" << c.text << "'";
  EXPECT_EQ(splitstring("a;b|c;", ';'), (Fields{"a", "b|c", ""}));
}

TEST(Splitstring, ReadsQuotedFields) {
  struct {
    std::string text;
    Fields fields;
  } cases[] = {
      {"\"a|b\"|c", {"a|b", "c"}},
      {"\"say \"\"hi\"\"\"|x", {"say \"hi\"", "x"}},
      {"x|\"a|b\"", {"x", "a|b"}},
      {"\"\"|x", {"", "x"}},
      {"\"\"", {""}},
      {"\"\"\"\"", {"\""}},
      {"\"a\"b|c", {"ab", "c"}},        // text after the closing quote is kept
      {"\"a\"b\"c|d", {"ab\"c", "d"}},  // ... with any quote in it
      {"\"a|b", {"a|b"}},               // unterminated: the rest of the text is the field
      {"x|\"a|\"\"b", {"x", "a|\"b"}},
      {"x|\"", {"x", ""}},
  };
  for (const auto& c : cases) EXPECT_EQ(splitstring(c.text, '|'), c.fields) << "'" << c.text << "'";
}
