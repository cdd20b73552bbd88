#include "lib/vuxdatenbank.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstdlib>
#include <optional>
#include <sstream>

#include "lib/base64.hpp"

using namespace Sulvane::VUXDatenbank;
namespace Base64 = Sulvane::Base64;

namespace {

constexpr const char* kDeclaration = R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)";
constexpr const char* kRootMissing = "XML-Datenfehler: \"\\VUXdatenbank\\\" nicht gefunden";
constexpr const char* kKonfigMissing = "XML-Datenfehler: \"VUXdatenbank\\Konfig\" nicht gefunden";

std::string Document(const std::string& konfig) {
  return std::string(kDeclaration) + "<VUXdatenbank><Konfig>" + konfig + "</Konfig></VUXdatenbank>";
}

std::string Describe(const TVUXDatabaseConnectionInfo& i) {
  std::ostringstream out;
  out << "ServerName=" << ::testing::PrintToString(i.ServerName) << " ServerPort=" << i.ServerPort
      << " DatabaseName=" << ::testing::PrintToString(i.DatabaseName)
      << " Username=" << ::testing::PrintToString(i.Username)
      << " Password=" << ::testing::PrintToString(i.Password) << " SSL=" << i.SSLConnection
      << " DBVersionMin=" << ::testing::PrintToString(i.DBVersionMin)
      << " SSLCertificate=" << ::testing::PrintToString(i.SSLCertificate)
      << " SSLKey=" << ::testing::PrintToString(i.SSLKey)
      << " CACertificate=" << ::testing::PrintToString(i.CACertificate);
  return out.str();
}

TVUXDatabaseConnectionInfo Record(std::string server, int port, std::string database,
                                  std::string user, std::string password, bool ssl) {
  TVUXDatabaseConnectionInfo info;
  info.ServerName = std::move(server);
  info.ServerPort = port;
  info.DatabaseName = std::move(database);
  info.Username = std::move(user);
  info.Password = std::move(password);
  info.SSLConnection = ssl;
  return info;
}

// A record with every field away from its default.
TVUXDatabaseConnectionInfo Used() {
  TVUXDatabaseConnectionInfo info = Record("db.example", 1, "alt", "alt", "alt", false);
  info.DBVersionMin = "2.0";
  info.SSLCertificate = "cert.pem";
  info.SSLKey = "key.pem";
  info.CACertificate = "ca.pem";
  return info;
}

std::string HostName() {
  char buffer[HOST_NAME_MAX + 1] = {};
  EXPECT_EQ(::gethostname(buffer, sizeof buffer - 1), 0);
  return buffer;
}

// Keeps COMPUTERNAME as the test found it.
class VUXDatenbank : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* value = std::getenv("COMPUTERNAME")) saved_ = value;
  }
  void TearDown() override { SetComputerName(saved_ ? saved_->c_str() : nullptr); }
  static void SetComputerName(const char* value) {
    if (value)
      ::setenv("COMPUTERNAME", value, 1);
    else
      ::unsetenv("COMPUTERNAME");
  }

 private:
  std::optional<std::string> saved_;
};

}  // namespace

TEST_F(VUXDatenbank, ResetRestoresTheDefaults) {
  TVUXDatabaseConnectionInfo info = Used();
  info.Reset();
  EXPECT_EQ(Describe(info), Describe(Record("127.0.0.1", 3306, "VUXdb", "root", "MOR", true)));
}

TEST_F(VUXDatenbank, ParsesTheDocumentPlainAndInBase64) {
  struct {
    std::string konfig;
    TVUXDatabaseConnectionInfo expected;
  } cases[] = {
      {R"(<ServerName lokal="0">db01</ServerName><ServerPort>3307</ServerPort>)"
       "<DatabaseName>vux</DatabaseName><Username>olt</Username><Password>geheim</Password>"
       "<SSL>1</SSL>",
       Record("db01", 3307, "vux", "olt", "geheim", true)},
      // Order free, other elements and the attribute lokal ignored, entities decoded.
      {R"(<Extra>x</Extra><SSL>true</SSL><Password>a&lt;b&amp;c&quot;d&apos;e&#33;</Password>)"
       R"(<Username>u</Username><ServerName lokal="1">db02</ServerName>)"
       "<ServerPort>$10</ServerPort><DatabaseName><![CDATA[d<b>]]></DatabaseName>",
       Record("db02", 16, "d<b>", "u", "a<b&c\"d'e!", true)},
      // Missing elements: empty texts, port -1, no SSL.
      {"", Record("", -1, "", "", "", false)},
      {"<ServerPort>abc</ServerPort><SSL>TRUE</SSL>", Record("", -1, "", "", "", true)},
      {"<ServerPort>3306x</ServerPort><SSL>0</SSL>", Record("", -1, "", "", "", false)},
      {"<ServerPort></ServerPort><SSL>nein</SSL>", Record("", -1, "", "", "", false)},
      {"<ServerPort>-5</ServerPort><SSL>2</SSL>", Record("", -5, "", "", "", true)},
      // Names are case-sensitive; the first of two elements counts.
      {"<servername>a</servername><SERVERPORT>1</SERVERPORT><Ssl>1</Ssl>"
       "<Username>first</Username><Username>second</Username>",
       Record("", -1, "", "first", "", false)},
      // White space of the values is kept, also when it is all there is.
      {"<Username> u </Username><Password> </Password>", Record("", -1, "", " u ", " ", false)},
  };
  for (const auto& c : cases) {
    const std::string plain = Document(c.konfig);
    for (const std::string& input : {plain, Base64::Encode(plain)}) {
      TVUXDatabaseConnectionInfo info = Used();
      ASSERT_NO_THROW(info.ParseKonfigXML(input)) << input;
      EXPECT_EQ(Describe(info), Describe(c.expected)) << input;
    }
  }
}

TEST_F(VUXDatenbank, IgnoresDocumentTypeDeclarations) {
  // No DTD processing: the entity stays unresolved text, nothing is read from anywhere.
  const std::string xml =
      std::string(kDeclaration) +
      R"(<!DOCTYPE VUXdatenbank [<!ENTITY x SYSTEM "file:///etc/hostname">)"
      R"(<!ENTITY y "intern">]>)"
      "<VUXdatenbank><Konfig><Password>&x;&y;</Password></Konfig></VUXdatenbank>";
  TVUXDatabaseConnectionInfo info;
  ASSERT_NO_THROW(info.ParseKonfigXML(xml));
  EXPECT_EQ(info.Password, "&x;&y;");
}

TEST_F(VUXDatenbank, RejectsWhatIsNoConnectionInfo) {
  const std::string noRoot = std::string(kDeclaration) + "<Andere><Konfig/></Andere>";
  const std::string nested =
      std::string(kDeclaration) + "<A><VUXdatenbank><Konfig/></VUXdatenbank></A>";
  const std::string noKonfig =
      std::string(kDeclaration) + "<VUXdatenbank><konfig/><A><Konfig/></A></VUXdatenbank>";
  const std::string mismatch = std::string(kDeclaration) + "<VUXdatenbank><Konfig></VUXdatenbank>";
  const std::string noElement = kDeclaration;
  struct {
    std::string input, message;
    bool reset;  // the record was Reset before the failure, else it is untouched
  } cases[] = {
      {Base64::Encode("hallo"), "XML-Datenfehler: hallo", false},
      {"hallo", "XML-Datenfehler: ", false},  // invalid Base64 decodes to the empty text
      {"%%%", "XML-Datenfehler: ", false},
      {"", "XML-Datenfehler: ", false},
      {Base64::Encode("Gr\xc3\xb6\xc3\x9f"), "XML-Datenfehler: Gr????", false},
      {" " + Document(""), "XML-Datenfehler: ", false},  // must begin with "<?xml"
      {"<?XML version=\"1.0\"?><VUXdatenbank><Konfig/></VUXdatenbank>", "XML-Datenfehler: ", false},
      {Base64::Encode(" " + Document("")), "XML-Datenfehler:  " + Document(""), false},
      {noRoot, kRootMissing, true},
      {Base64::Encode(noRoot), kRootMissing, true},
      {nested, kRootMissing, true},
      {noKonfig, kKonfigMissing, true},
      {Base64::Encode(noKonfig), kKonfigMissing, true},
      {mismatch, "XML-Datenfehler: Start-end tags mismatch (Position 79)", true},
      {Base64::Encode(mismatch), "XML-Datenfehler: Start-end tags mismatch (Position 79)", true},
      {noElement, "XML-Datenfehler: No document element found (Position 55)", true},
      {std::string(kDeclaration) + "<VUXdatenbank><Konfig><",
       "XML-Datenfehler: Could not determine tag type (Position 77)", true},
  };
  for (const auto& c : cases) {
    TVUXDatabaseConnectionInfo info = Used();
    try {
      info.ParseKonfigXML(c.input);
      ADD_FAILURE() << "no exception: " << c.input;
    } catch (const EXMLDatenfehler& e) {
      EXPECT_EQ(e.what(), c.message) << c.input;
    }
    TVUXDatabaseConnectionInfo expected = Used();
    if (c.reset) expected.Reset();
    EXPECT_EQ(Describe(info), Describe(expected)) << c.input;
  }
}

TEST_F(VUXDatenbank, IsLokalForLocalhostLoopbackAndTheMachineName) {
  SetComputerName("OLT-SRV");
  struct {
    const char* server;
    bool lokal;
  } cases[] = {
      {"localhost", true},   {"127.0.0.1", true},  {"olt-srv", true},         {"LOCALHOST", false},
      {"Localhost", false},  {"OLT-SRV", false},   {"Olt-Srv", false},        {"olt-srv ", false},
      {" localhost", false}, {"127.0.0.2", false}, {"127.0.0.1:3306", false}, {"", false},
      {"::1", false},
  };
  for (const auto& c : cases) {
    TVUXDatabaseConnectionInfo info;
    info.ServerName = c.server;
    EXPECT_EQ(info.IsLokal(), c.lokal) << "'" << c.server << "'";
    const std::string attribute = c.lokal ? R"(lokal="1")" : R"(lokal="0")";
    EXPECT_NE(info.ToKonfigXML(false).find(attribute), std::string::npos) << "'" << c.server << "'";
  }

  // Without COMPUTERNAME (or with an empty one) the host name counts.
  const std::string host = HostName();
  ASSERT_FALSE(host.empty());
  std::string lower = host;
  for (char& ch : lower) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  for (const char* computerName : {static_cast<const char*>(nullptr), ""}) {
    SetComputerName(computerName);
    TVUXDatabaseConnectionInfo info;
    info.ServerName = lower;
    EXPECT_TRUE(info.IsLokal()) << lower;
    info.ServerName = "olt-srv";
    EXPECT_EQ(info.IsLokal(), lower == "olt-srv");
    if (host != lower) {
      info.ServerName = host;
      EXPECT_FALSE(info.IsLokal()) << host;
    }
  }
}

TEST_F(VUXDatenbank, WritesTheDocument) {
  SetComputerName("ANDERER-RECHNER");
  TVUXDatabaseConnectionInfo info = Used();
  info.Reset();
  const std::string expected =
      R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?><VUXdatenbank><Konfig>)"
      R"(<ServerName lokal="1">127.0.0.1</ServerName><ServerPort>3306</ServerPort>)"
      R"(<DatabaseName>VUXdb</DatabaseName><Username>root</Username><Password>MOR</Password>)"
      R"(<SSL>1</SSL></Konfig></VUXdatenbank>)";
  EXPECT_EQ(info.ToKonfigXML(false), expected);
  EXPECT_EQ(info.ToKonfigXML(true), Base64::Encode(expected));

  info = Record("db&<1>", -1, "\"d\"", "'u'", "a<b&c\"d'e", false);
  EXPECT_EQ(info.ToKonfigXML(false),
            std::string(kDeclaration) +
                R"(<VUXdatenbank><Konfig><ServerName lokal="0">db&amp;&lt;1&gt;</ServerName>)"
                R"(<ServerPort>-1</ServerPort><DatabaseName>&quot;d&quot;</DatabaseName>)"
                R"(<Username>&apos;u&apos;</Username><Password>a&lt;b&amp;c&quot;d&apos;e)"
                R"(</Password><SSL>0</SSL></Konfig></VUXdatenbank>)");
}

TEST_F(VUXDatenbank, RoundTripsThroughTheDocument) {
  SetComputerName("ANDERER-RECHNER");
  const TVUXDatabaseConnectionInfo cases[] = {
      Record("127.0.0.1", 3306, "VUXdb", "root", "MOR", true),
      Record("db.example", 13306, "vux", "olt", "a<b&c\"d'e", false),
      Record("localhost", -1, "]]>", "&amp;", "<Password>x</Password>", true),
      Record("h", 0, "d", " u ", " ", true),
      Record("h", 2147483647, "d", "u", "zeile1\r\nzeile2\rzeile3\n\ttab", true),
  };
  for (const auto& c : cases) {
    for (const bool base64 : {false, true}) {
      const std::string document = c.ToKonfigXML(base64);
      TVUXDatabaseConnectionInfo info = Used();
      ASSERT_NO_THROW(info.ParseKonfigXML(document)) << document;
      EXPECT_EQ(Describe(info), Describe(c)) << document;
    }
  }
}

TEST_F(VUXDatenbank, CharactersOutsideAsciiTravelAsQuestionMarksInBase64) {
  SetComputerName("ANDERER-RECHNER");
  const TVUXDatabaseConnectionInfo original = Record(
      "Gr\xc3\xb6\xc3\x9f"
      "e",
      3306, "d", "M\xc3\xbcller", "p", true);
  const std::optional<std::string> decoded = Base64::Decode(original.ToKonfigXML(true));
  ASSERT_TRUE(decoded);
  EXPECT_NE(decoded->find(R"(<ServerName lokal="0">Gr????e</ServerName>)"), std::string::npos)
      << *decoded;
  EXPECT_NE(decoded->find("<Username>M??ller</Username>"), std::string::npos) << *decoded;

  TVUXDatabaseConnectionInfo info;
  info.ParseKonfigXML(original.ToKonfigXML(true));
  EXPECT_EQ(Describe(info), Describe(Record("Gr????e", 3306, "d", "M??ller", "p", true)));
  // As it is, the document keeps its UTF-8.
  info.ParseKonfigXML(original.ToKonfigXML(false));
  EXPECT_EQ(Describe(info), Describe(original));
  // A Base64 document's bytes above 127 are read as "?" as well.
  info.ParseKonfigXML(Base64::Encode(Document("<Password>\xc3\xa4</Password>")));
  EXPECT_EQ(info.Password, "??");
}
