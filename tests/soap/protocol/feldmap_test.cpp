#include "soap/protocol/feldmap.hpp"
#include "xml/xmlnodes.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lib/stringlist.hpp"
#include "support/fakeservice.hpp"
#include "support/tempdir.hpp"
#include "support/timezone.hpp"

using testsupport::TempDir;
using testsupport::TimeZone;
using testsupport::WriteFile;

namespace {

// The service's folder is a fresh one.
class FeldmapTest : public ::testing::Test {
 protected:
  void Map(const std::string& file, const std::string& content) { WriteFile(dir_ / file, content); }

  TempDir dir_;
  testsupport::FakeService srv_{dir_.path()};
};

pugi::xml_document Parse(const char* xml) {
  pugi::xml_document doc;
  const pugi::xml_parse_result result =
      doc.load_string(xml, pugi::parse_default & ~pugi::parse_escapes);
  EXPECT_TRUE(result) << result.description() << ": " << xml;
  return doc;
}

struct TCase {
  const char* in;
  const char* want;
};

}  // namespace

TEST_F(FeldmapTest, GetfieldnameFindsTheColumnOfAnElement) {
  struct {
    const char* map;
    const char* element;
    const char* want;
  } cases[] = {
      {"hausnummer=EoHausNr\r\n", "EoHausNr", "hausnummer"},
      {"hausnummer=EoHausNr\r\n", "eohausnr", "hausnummer"},
      {"hausnummer=EoHausNr\r\n", "EOHAUSNR", "hausnummer"},
      {"HAUSNUMMER=EoHausNr\r\n", "EoHausNr", "HAUSNUMMER"},  // the column as written
      {"hausnummer=EoHausNr\r\n", "EoOrt", "EoOrt"},          // not mapped: as passed
      {"", "EoOrt", "EoOrt"},
      {"EoOrt\nort\n", "EoOrt", "EoOrt"},                       // lines without "=" never match
      {"plz=EoPlz\nort=EoOrt\nort2=EoOrt\n", "EoOrt", "ort2"},  // the last line wins
      {"plz=EoPlz\rort=EoOrt\r", "EoOrt", "ort"},               // CR line breaks
      {"plz=EoPlz\r\nort=EoOrt", "EoOrt", "ort"},               // no final line break
      {"ort=EoOrt  \n", "EoOrt", "ort"},                        // blanks after the name
      {"ort= EoOrt\n", "EoOrt", "EoOrt"},                       // "=eoort" is not in the line
      {"ort =EoOrt\n", "EoOrt", "ort "},
      {"\xEF\xBB\xBFplz=EoPlz\n", "EoPlz", "plz"},  // byte order mark
      // A substring test: the line of EoHausNrKz matches EoHausNr as well, and
      // the last matching line decides.
      {"c1=EoHausNrKz\nc2=EoHausNr\n", "EoHausNr", "c2"},
      {"c2=EoHausNr\nc1=EoHausNrKz\n", "EoHausNr", "c1"},
      {"c1=EoHausNrKz\nc2=EoHausNr\n", "EoHausNrKz", "c1"},
      {"c1=EoHausNrKz\n", "EoHausNr", "c1"},
      {"c1=EoHausNrKz\nc3=EoHausNrZusatz\n", "EoHausNr", "c3"},
      {"c2=EoHausNr\nc1=EoHausNrKz\nc3=EoHausNr\n", "EoHausNr", "c3"},
  };
  for (const auto& c : cases) {
    Map("oltfelder.dat", c.map);
    EXPECT_EQ(getfieldname(c.element, "oltfelder.dat"), c.want)
        << "element " << c.element << " in map:\n"
        << c.map;
  }
}

TEST_F(FeldmapTest, GetxmlnameFindsTheElementOfAColumn) {
  struct {
    const char* map;
    const char* column;
    const char* want;
  } cases[] = {
      {"hausnummer=EoHausNr\r\n", "hausnummer", "EoHausNr"},
      {"hausnummer=EoHausNr\r\n", "HAUSNUMMER", "EoHausNr"},
      {"HAUSNUMMER=EoHausNr\r\n", "hausnummer", "hausnummer"},  // only lower-case columns
      {"HausNummer=EoHausNr\r\n", "HAUSNUMMER", "HAUSNUMMER"},
      {"hausnummer=EoHausNr\r\n", "ort", "ort"},  // not mapped: as passed
      {"hausnummer=EoHausNr\r\n", "HAUSNUMMER2", "HAUSNUMMER2"},
      {"hausnummer=EoHausNr\r\n", "HAUS", "HAUS"},  // a column that only begins the line
      {"hausnummer=EoHausNr\r\n", "", ""},
      {"hausnummer\r\n", "hausnummer", "hausnummer"},
      {" hausnummer=EoHausNr\r\n", "hausnummer", "hausnummer"},
      {"ort=EoOrt\nort=EoOrt2\n", "ort", "EoOrt2"},  // the last line wins
      {"ort=EoOrt=X\n", "ort", "EoOrt=X"},           // everything after the first "="
      {"ort=\n", "ort", ""},
      {"plz=EoPlz\rort=EoOrt\r", "ort", "EoOrt"},
  };
  for (const auto& c : cases) {
    Map("patfelder.dat", c.map);
    EXPECT_EQ(getxmlname(c.column, "patfelder.dat"), c.want)
        << "column " << c.column << " in map:\n"
        << c.map;
  }
}

TEST_F(FeldmapTest, LookupsReadTheirFileOnEveryCall) {
  Map("emfelder.dat", "rufname=Funkrufname\n");
  EXPECT_EQ(getfieldname("Funkrufname", "emfelder.dat"), "rufname");
  EXPECT_EQ(getxmlname("rufname", "emfelder.dat"), "Funkrufname");
  Map("emfelder.dat", "kennung=Funkrufname\nrufname=Rufname\n");
  EXPECT_EQ(getfieldname("Funkrufname", "emfelder.dat"), "kennung");
  EXPECT_EQ(getxmlname("rufname", "emfelder.dat"), "Rufname");
  // Each lookup reads the file it is given.
  Map("protokollfelder.dat", "text=Meldung\n");
  EXPECT_EQ(getfieldname("Meldung", "protokollfelder.dat"), "text");
  EXPECT_EQ(getfieldname("Meldung", "emfelder.dat"), "Meldung");
}

TEST_F(FeldmapTest, AMissingMapFileFailsTheLookup) {
  EXPECT_THROW(getfieldname("EoOrt", "oltfelder.dat"), EFOpenError);
  EXPECT_THROW(getxmlname("ort", "oltfelder.dat"), EFOpenError);
}

TEST_F(FeldmapTest, CodeslTextEndsEveryLineWithCrLf) {
  EXPECT_EQ(codesltext(), "");
  srv_.codesl().Set({"plz=EoPlz", "ort=EoOrt"});
  EXPECT_EQ(codesltext(), "plz=EoPlz\r\nort=EoOrt\r\n");
  srv_.codesl().Set(
      LoadStringsFromFile((Map("oltfelder.dat", "a=A\nb=B"), dir_ / "oltfelder.dat")));
  EXPECT_EQ(codesltext(), "a=A\r\nb=B\r\n");
}

TEST(Localname, DropsThePrefix) {
  const pugi::xml_document doc = Parse(
      "<soap:Envelope xmlns:soap='urn:s'><soap:Body><Op/><a:b:c/></soap:Body></soap:Envelope>");
  const pugi::xml_node envelope = doc.first_child();
  EXPECT_EQ(localname(envelope), "Envelope");
  EXPECT_EQ(localname(envelope.first_child()), "Body");
  EXPECT_EQ(localname(envelope.first_child().first_child()), "Op");
  EXPECT_EQ(localname(envelope.first_child().last_child()), "c");
  EXPECT_EQ(localname(pugi::xml_node()), "");
}

TEST(Getid, TakesTheLastIdChild) {
  const TCase cases[] = {
      {"<einsatz><Id>1</Id><ID>2</ID></einsatz>", "2"},
      {"<einsatz><id>7</id><name>x</name></einsatz>", "7"},
      {"<einsatz><ns:id xmlns:ns='urn:n'>8</ns:id></einsatz>", "8"},
      {"<einsatz><ID>2</ID><id/></einsatz>", ""},  // an empty last id wins too
      {"<einsatz><name>x</name></einsatz>", ""},
      {"<einsatz/>", ""},
      {"<einsatz><sub><id>9</id></sub></einsatz>", ""},  // grandchildren do not count
      {"<einsatz><idx>9</idx><eid>9</eid></einsatz>", ""},
      {"<einsatz id='5'/>", ""},  // attributes do not count
      {"<einsatz><id>A&amp;B &lt;1&gt;</id></einsatz>", "A&amp;B &lt;1&gt;"},  // unchanged
      {"<einsatz><id> 12 </id></einsatz>", " 12 "},
      {"<einsatz><id>1<!--c-->2<![CDATA[3]]></id></einsatz>", "123"},
  };
  for (const auto& c : cases) {
    const pugi::xml_document doc = Parse(c.in);
    EXPECT_EQ(getid(doc.first_child()), c.want) << c.in;
  }
  EXPECT_EQ(getid(pugi::xml_node()), "");
}

TEST(Xmltosqlvalue, DecodesTheValue) {
  const TCase cases[] = {
      {"true", "1"},
      {"false", "0"},
      {"True", "True"},
      {"FALSE", "FALSE"},
      {"Brand &amp; Rauch &lt;3&gt; &quot;x&quot; &apos;y&apos;", "Brand & Rauch <3> \"x\" 'y'"},
      {"&amp;lt;", "&lt;"},
      {"O'Brien", "O'Brien"},  // not quoted here
      {"12,5", "12,5"},
      {"", ""},
      {"M\xFC", "M\xEF\xBF\xBD"},
  };
  for (const auto& c : cases) EXPECT_EQ(xmltosqlvalue(c.in), c.want) << "value: " << c.in;
}

TEST(Xmltosqlvalue, WritesSchemaDateTimesInLocalTime) {
  const TimeZone zone("Europe/Berlin");
  const TCase cases[] = {
      {"2023-12-24T18:30:00+01:00", "2023-12-24 18:30:00"},  // winter
      {"2023-07-01T12:00:00+02:00", "2023-07-01 12:00:00"},  // summer
      {"2023-07-01T12:00:00+01:00", "2023-07-01 13:00:00"},
      {"2023-12-24T18:30:00+00:00", "2023-12-24 19:30:00"},
      {"2023-12-24T17:30:00Z", "2023-12-24 18:30:00"},  // UTC to local time as well
      {"2023-07-01T10:00:00Z", "2023-07-01 12:00:00"},
      {"2023-12-24T12:30:00-05:00", "2023-12-24 18:30:00"},
      {"2023-12-25T04:30:00+11:00", "2023-12-24 18:30:00"},
      {"2023-12-24T23:00:00+05:30", "2023-12-24 18:30:00"},
      {"2023-12-31T23:30:00-01:00", "2024-01-01 01:30:00"},  // across the year
      {"2023-03-26T01:00:00Z", "2023-03-26 03:00:00"},       // the change to summer time
      {"2023-10-29T00:59:59Z", "2023-10-29 02:59:59"},
      {"2023-10-29T01:00:00Z", "2023-10-29 02:00:00"},
      {"2023-12-24T18:30:00.987+01:00", "2023-12-24 18:30:00"},  // fraction dropped
      {"2023-12-24T24:00:00+01:00", "2023-12-25 00:00:00"},
      // Without a zone the time stands as written.
      {"2023-12-24T18:30:00", "2023-12-24 18:30:00"},
      {"2023-07-01T18:30:00.5", "2023-07-01 18:30:00"},
      {"2024-02-29T24:00:00", "2024-03-01 00:00:00"},
      // No xs:dateTime: the decoded value stands.
      {"2023-12-24", "2023-12-24"},
      {"2023-12-24T18:30", "2023-12-24T18:30"},
      {"2023-12-24 18:30:00", "2023-12-24 18:30:00"},
      {"2023-02-29T10:00:00Z", "2023-02-29T10:00:00Z"},
      {"2023-13-01T10:00:00Z", "2023-13-01T10:00:00Z"},
      {"2023-12-24T24:00:01Z", "2023-12-24T24:00:01Z"},
      {"2023-12-24T18:60:00Z", "2023-12-24T18:60:00Z"},
      {"2023-12-24T18:30:00+15:00", "2023-12-24T18:30:00+15:00"},
      {"2023-12-24T18:30:00+0100", "2023-12-24T18:30:00+0100"},
      {"2023-12-24T18:30:00.Z", "2023-12-24T18:30:00.Z"},
      {"2023-12-24T18:30:00Zx", "2023-12-24T18:30:00Zx"},
      {" 2023-12-24T18:30:00Z", " 2023-12-24T18:30:00Z"},
      {"0000-01-01T00:00:00Z", "0000-01-01T00:00:00Z"},
      {"24.12.2023 18:30:00", "24.12.2023 18:30:00"},
  };
  for (const auto& c : cases) EXPECT_EQ(xmltosqlvalue(c.in), c.want) << "value: " << c.in;
}

TEST(Convertdatetime, QuotesAndConvertsGermanDateTimes) {
  const TCase cases[] = {
      {"24.12.2023 18:30:00", "'2023-12-24 18:30:00'"},
      {"01.01.1900 00:00:00", "'1900-01-01 00:00:00'"},
      {"31.12.2099 23:59:59", "'2099-12-31 23:59:59'"},
      {"29.02.2024 12:00:00", "'2024-02-29 12:00:00'"},
      {"24.12.2023", "'24.12.2023'"},
      {"O'Brien", "'O''Brien'"},
      {"''", "''''''"},
      {"C:\\Temp\\", "'C:\\Temp\\'"},  // sessions treat the backslash as a character
      {"", "''"},
      {"1", "'1'"},
      {"31.02.2023 10:00:00", "'31.02.2023 10:00:00'"},
      {"29.02.2023 10:00:00", "'29.02.2023 10:00:00'"},
      {"31.04.2023 10:00:00", "'31.04.2023 10:00:00'"},
      {"00.12.2023 10:00:00", "'00.12.2023 10:00:00'"},
      {"24.00.2023 10:00:00", "'24.00.2023 10:00:00'"},
      {"24.12.1899 10:00:00", "'24.12.1899 10:00:00'"},
      {"24.12.2100 10:00:00", "'24.12.2100 10:00:00'"},
      {"24.12.2023 24:00:00", "'24.12.2023 24:00:00'"},
      {"24.12.2023 18:60:00", "'24.12.2023 18:60:00'"},
      {"24.12.2023 18:30:60", "'24.12.2023 18:30:60'"},
      {"24.12.2023 18:30", "'24.12.2023 18:30'"},
      {"4.12.2023 18:30:00", "'4.12.2023 18:30:00'"},
      {" 24.12.2023 18:30:00", "' 24.12.2023 18:30:00'"},
      {"24.12.2023 18:30:00 ", "'24.12.2023 18:30:00 '"},
      {"24.12.2023 18:30:00\n", "'24.12.2023 18:30:00\n'"},
      {"24-12-2023 18:30:00", "'24-12-2023 18:30:00'"},
      {"2023-12-24 18:30:00", "'2023-12-24 18:30:00'"},  // already in SQL form
  };
  for (const auto& c : cases) EXPECT_EQ(convertdatetime(c.in), c.want) << "text: " << c.in;
}
