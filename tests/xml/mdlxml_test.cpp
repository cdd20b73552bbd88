#include "xml/mdlxml.hpp"

#include <gtest/gtest.h>

#include <string>

#include "support/timezone.hpp"

using testsupport::TimeZone;

namespace {

struct TCase {
  const char* in;
  const char* want;
};

}  // namespace

TEST(Xmlencode, EscapesTheFiveCharactersOnce) {
  const TCase cases[] = {
      {"Wort", "Wort"},
      {"", ""},
      {"a&b<c>d\"e'f", "a&amp;b&lt;c&gt;d&quot;e&apos;f"},
      {"&lt;", "&amp;lt;"},  // an entity in the value is text and escaped again
      {"&amp;", "&amp;amp;"},
      {"Müller & Söhne", "Müller &amp; Söhne"},
      {"Hinweis: Zufahrt über Hof", "Hinweis: Zufahrt über Hof"},  // colon, no date and time
      {"Tor <3>: 12.05.2023", "Tor &lt;3&gt;: 12.05.2023"},
  };
  for (const auto& c : cases) EXPECT_EQ(xmlencode(c.in), c.want) << "value: " << c.in;
}

TEST(Xmlencode, WritesRegionalDatesInSchemaForm) {
  const TimeZone zone("Europe/Berlin");
  const TCase cases[] = {
      {"12.05.2023", "2023-05-12"},
      {"1.2.2024", "2024-02-01"},
      {"29.02.2024", "2024-02-29"},
      {"01.01.0001", "0001-01-01"},
      // Not a date: the escaped text stays.
      {"29.02.2023", "29.02.2023"},
      {"31.04.2023", "31.04.2023"},
      {"00.00.0000", "00.00.0000"},  // the zero date of the database
      {"12.05.23", "12.05.23"},      // the year has four digits
      {"12.05.", "12.05."},
      {"12.05.2023 ", "12.05.2023 "},
      {" 12.05.2023", " 12.05.2023"},
      {"12/05/2023", "12/05/2023"},
      {"2023-05-12", "2023-05-12"},
      {"1,5", "1,5"},
      {"112", "112"},
  };
  for (const auto& c : cases) EXPECT_EQ(xmlencode(c.in), c.want) << "value: " << c.in;
}

TEST(Xmlencode, WritesRegionalDateTimesWithTheLocalOffsetOfTheirMoment) {
  const TimeZone zone("Europe/Berlin");
  const TCase cases[] = {
      {"24.12.2023 18:30:00", "2023-12-24T18:30:00.000+01:00"},  // winter
      {"12.05.2023 10:20:30", "2023-05-12T10:20:30.000+02:00"},  // summer
      {"26.03.2023 01:59:59", "2023-03-26T01:59:59.000+01:00"},  // last second of winter time
      {"26.03.2023 03:00:00", "2023-03-26T03:00:00.000+02:00"},
      {"29.10.2023 03:00:00", "2023-10-29T03:00:00.000+01:00"},
      {"1.2.2024 7:05", "2024-02-01T07:05:00.000+01:00"},  // without seconds
      {"31.12.2023 23:59:59", "2023-12-31T23:59:59.000+01:00"},
      {"01.01.2024 00:00:00", "2024-01-01T00:00:00.000+01:00"},
      // Not a date and time: the escaped text stays.
      {"18:30:00", "18:30:00"},  // a time alone has no date
      {"31.02.2023 10:00:00", "31.02.2023 10:00:00"},
      {"24.12.2023 24:00:00", "24.12.2023 24:00:00"},
      {"24.12.2023 18:60:00", "24.12.2023 18:60:00"},
      {"24.12.2023 18:30:60", "24.12.2023 18:30:60"},
      {"24.12.2023 18:3", "24.12.2023 18:3"},
      {"24.12.2023 18:30:00.123", "24.12.2023 18:30:00.123"},
      {"24.12.2023T18:30:00", "24.12.2023T18:30:00"},
      {"24.12.2023  18:30:00", "24.12.2023  18:30:00"},
      {"2023-12-24T18:30:00", "2023-12-24T18:30:00"},
      {"24.12.2023 18:30 <x>", "24.12.2023 18:30 &lt;x&gt;"},
  };
  for (const auto& c : cases) EXPECT_EQ(xmlencode(c.in), c.want) << "value: " << c.in;
}

TEST(Xmlencode, FollowsTheProcessTimeZone) {
  struct {
    const char* zone;
    const char* in;
    const char* want;
  } cases[] = {
      {"UTC", "24.12.2023 18:30:00", "2023-12-24T18:30:00.000Z"},
      {"Europe/London", "24.12.2023 18:30:00", "2023-12-24T18:30:00.000Z"},
      {"Europe/London", "12.05.2023 10:20:30", "2023-05-12T10:20:30.000+01:00"},
      {"America/New_York", "24.12.2023 18:30:00", "2023-12-24T18:30:00.000-05:00"},
      {"America/New_York", "12.05.2023 10:20:30", "2023-05-12T10:20:30.000-04:00"},
      {"Asia/Kolkata", "24.12.2023 18:30:00", "2023-12-24T18:30:00.000+05:30"},
      {"America/St_Johns", "24.12.2023 18:30:00", "2023-12-24T18:30:00.000-03:30"},
      {"Asia/Kolkata", "24.12.2023", "2023-12-24"},  // a date carries no offset
  };
  for (const auto& c : cases) {
    const TimeZone zone(c.zone);
    EXPECT_EQ(xmlencode(c.in), c.want) << "zone " << c.zone << ", value: " << c.in;
  }
}

TEST(Xmldecode, DecodesEachEntityOnce) {
  const TCase cases[] = {
      {"", ""},
      {"Wort", "Wort"},
      {"a&lt;b&gt;c&quot;d&apos;e&amp;f", "a<b>c\"d'e&f"},
      {"&amp;lt;", "&lt;"},  // escaped entity: one level only
      {"&amp;amp;", "&amp;"},
      {"&amp;#65;", "&#65;"},
      {"&lt;&lt;&gt;", "<<>"},
      {"&", "&"},
      {"a & b", "a & b"},
      {"&nbsp;&LT;&lt", "&nbsp;&LT;&lt"},  // unknown or incomplete: as written
      {"&#65;&#x42;&#x63;&#x10FFFF;", "ABc\xF4\x8F\xBF\xBF"},
      {"M&#252;ller &#x20AC;", "Müller €"},
      {"Zeile 1&#xD;&#xA;Zeile 2&#9;", "Zeile 1\r\nZeile 2\t"},
      // Character references that name no XML character stay as written.
      {"&#0;&#x1F;&#xD800;&#xFFFE;&#x110000;&#99999999999;",
       "&#0;&#x1F;&#xD800;&#xFFFE;&#x110000;&#99999999999;"},
      {"&#;&#x;&#X41;&#65&#x4G;&#-1;", "&#;&#x;&#X41;&#65&#x4G;&#-1;"},
      {"true", "1"},
      {"false", "0"},
      {"&#116;rue", "1"},  // the test applies to the decoded text
      {"True", "True"},
      {"TRUE", "TRUE"},
      {"FALSE", "FALSE"},
      {" true", " true"},
      {"truely", "truely"},
  };
  for (const auto& c : cases) EXPECT_EQ(xmldecode(c.in), c.want) << "value: " << c.in;
}

TEST(Xmldecode, ReplacesIllFormedUtf8) {
  const std::string fffd = "\xEF\xBF\xBD";
  const struct {
    std::string in, want, what;
  } cases[] = {
      {"Stra\xC3\x9F"
       "e \xE2\x82\xAC \xF0\x9F\x9A\x91",
       "Stra\xC3\x9F"
       "e \xE2\x82\xAC \xF0\x9F\x9A\x91",
       "well-formed two, three and four bytes"},
      {"M\xFCller", "M" + fffd + "ller", "a Latin-1 byte"},
      {"\x80", fffd, "a lone continuation byte"},
      {"a\xC3", "a" + fffd, "a sequence cut off at the end"},
      {"\xE2\x82x", fffd + "x", "a sequence cut off by ASCII"},
      {"\xC0\xAF", fffd + fffd, "an overlong form"},
      {"\xE0\x80\xAF", fffd + fffd + fffd, "an overlong three-byte form"},
      {"\xED\xA0\x80", fffd + fffd + fffd, "a surrogate"},
      {"\xF4\x90\x80\x80", fffd + fffd + fffd + fffd, "beyond U+10FFFF"},
      {"\xF0\x9F\x9A", fffd, "a four-byte sequence cut off"},
      {"\xFF\xFE", fffd + fffd, "bytes that never occur"},
      {"\xC3&amp;", fffd + "&", "before an entity"},
  };
  for (const auto& c : cases) EXPECT_EQ(xmldecode(c.in), c.want) << c.what;
}

TEST(Fixhausnr, SplitsNumberAndSuffix) {
  const TCase cases[] = {
      {"", ""},
      {"12", "<EoHausNr>12</EoHausNr><EoHausNrKz/>"},
      {"-7", "<EoHausNr>-7</EoHausNr><EoHausNrKz/>"},
      {"+7", "<EoHausNr>+7</EoHausNr><EoHausNrKz/>"},
      {"  12", "<EoHausNr>  12</EoHausNr><EoHausNrKz/>"},
      {"012", "<EoHausNr>012</EoHausNr><EoHausNrKz/>"},
      {"2147483647", "<EoHausNr>2147483647</EoHausNr><EoHausNrKz/>"},
      {"-2147483648", "<EoHausNr>-2147483648</EoHausNr><EoHausNrKz/>"},
      {"$1F", "<EoHausNr>$1F</EoHausNr><EoHausNrKz/>"},
      {"x1f", "<EoHausNr>x1f</EoHausNr><EoHausNrKz/>"},
      {"0X1A", "<EoHausNr>0X1A</EoHausNr><EoHausNrKz/>"},
      {"$FFFFFFFF", "<EoHausNr>$FFFFFFFF</EoHausNr><EoHausNrKz/>"},
      {"12a", "<EoHausNr>12</EoHausNr><EoHausNrKz>a</EoHausNrKz>"},
      {"12 - 14", "<EoHausNr>12</EoHausNr><EoHausNrKz> - 14</EoHausNrKz>"},
      {"a12", "<EoHausNr></EoHausNr><EoHausNrKz>a12</EoHausNrKz>"},
      {" ", "<EoHausNr></EoHausNr><EoHausNrKz> </EoHausNrKz>"},
      {"12 ", "<EoHausNr>12</EoHausNr><EoHausNrKz> </EoHausNrKz>"},
      {"2147483648", "<EoHausNr>2147483648</EoHausNr><EoHausNrKz></EoHausNrKz>"},
      {"-2147483649", "<EoHausNr></EoHausNr><EoHausNrKz>-2147483649</EoHausNrKz>"},
      {"99999999999", "<EoHausNr>99999999999</EoHausNr><EoHausNrKz></EoHausNrKz>"},
      {"$100000000", "<EoHausNr></EoHausNr><EoHausNrKz>$100000000</EoHausNrKz>"},
      {"$", "<EoHausNr></EoHausNr><EoHausNrKz>$</EoHausNrKz>"},
      {"0x", "<EoHausNr>0</EoHausNr><EoHausNrKz>x</EoHausNrKz>"},
      {"-", "<EoHausNr></EoHausNr><EoHausNrKz>-</EoHausNrKz>"},
      {"12b<&>\"'", "<EoHausNr>12</EoHausNr><EoHausNrKz>b&lt;&amp;&gt;&quot;&apos;</EoHausNrKz>"},
      {"12.05.2023",
       "<EoHausNr>12</EoHausNr><EoHausNrKz>.05.2023</EoHausNrKz>"},  // no date reading
  };
  for (const auto& c : cases)
    EXPECT_EQ(fixhausnr(c.in), c.want) << "house number: '" << c.in << "'";
}
