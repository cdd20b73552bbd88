#include "soap/protocol/readsoap.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>

#include "support/runningservice.hpp"

using testing::Contains;
using testing::HasSubstr;
using testing::StartsWith;
using testsupport::LogEntries;

namespace {

constexpr const char* kNotRead = "Soap konnte nicht gelesen werden.";

// A started service whose telegram link has no server.
struct Dispatcher : testing::Test, testsupport::RunningService {
  Dispatcher() : RunningService({.simulator = false}) {}
};

std::string Envelope(const std::string& prefix, const std::string& body) {
  return "<?xml version=\"1.0\"?>\r\n<" + prefix + ":Envelope xmlns:" + prefix +
         "=\"http://schemas.xmlsoap.org/soap/envelope/\"><" + prefix + ":Body>" + body + "</" +
         prefix + ":Body></" + prefix + ":Envelope>\r\n";
}

}  // namespace

TEST_F(Dispatcher, RoutesByLocalNameWithoutRegardToCaseOrPrefix) {
  // The element name comes from the routing, not from the words of the text:
  // each request also mentions another operation in a value.
  struct {
    std::string request, want;
  } cases[] = {
      {Envelope("soap", "<einsatzWEITERleiten><x>einsatzmittelverlegen</x></einsatzWEITERleiten>"),
       "olt:EinsatzWeiterleitenResponse"},
      {Envelope("SOAP-ENV",
                "<ils:EinsatzInfoWeiterleiten xmlns:ils=\"urn:x\"><x>EinsatzmittelVerlegen</x>"
                "</ils:EinsatzInfoWeiterleiten>"),
       "olt:EinsatzInfoWeiterleitenResponse"},
      {Envelope("s", "<EinsatzmittelVerlegen/><EinsatzWeiterleiten/>"),
       "olt:EinsatzmittelVerlegenResponse"},  // only the first child counts
      {"<Envelope><Header/><BODY><EinsatzmittelVerlegen><y>EinsatzInfoWeiterleiten</y>"
       "</EinsatzmittelVerlegen></BODY></Envelope>",
       "olt:EinsatzmittelVerlegenResponse"},
  };
  for (const auto& c : cases) {
    std::string result, name;
    ReadSoap(c.request, result, name);
    EXPECT_EQ(name, c.want) << c.request;
    EXPECT_EQ(result, "Keine ID gefunden.") << "the handler answered: " << c.request;
  }
  EXPECT_THAT(Errors(), testing::IsEmpty());
}

TEST_F(Dispatcher, UnroutableRequestsKeepThePreselectedName) {
  struct {
    std::string name, request, want_name, want_log;
  } cases[] = {
      {"malformed", "<soap:Envelope><soap:Body><EinsatzInfoWeiterleiten></soap:Body>",
       "olt:EinsatzInfoWeiterleitenResponse", "FEHLER    | Fehler in ReadSoap: "},
      {"two EoHausNr, one suffix",
       Envelope("soap",
                "<EinsatzWeiterleiten><EoHausNr>1</EoHausNr><EoHausNr>2</EoHausNr>"
                "<EoHausNrKz>a</EoHausNrKz></EinsatzWeiterleiten>"),
       "olt:EinsatzWeiterleitenResponse", "FEHLER    | Fehler in ReadSoap: "},
      {"empty body", Envelope("soap", ""), "", "FEHLER    | Fehler bei Readsoap: "},
      {"no envelope", "<EinsatzWeiterleiten/>", "olt:EinsatzWeiterleitenResponse", ""},
      {"unknown operation", Envelope("soap", "<Ping/>"), "", ""},
  };
  for (const auto& c : cases) {
    const auto before = Errors().size();
    std::string result, name;
    ReadSoap(c.request, result, name);
    EXPECT_EQ(result, kNotRead) << c.name;
    EXPECT_EQ(name, c.want_name) << c.name;
    const auto errors = Errors();
    if (c.want_log.empty()) {
      EXPECT_EQ(errors.size(), before) << c.name;
    } else {
      ASSERT_EQ(errors.size(), before + 1) << c.name;
      EXPECT_THAT(errors.back(), StartsWith(c.want_log)) << c.name;
    }
  }
}

TEST_F(Dispatcher, DatabaseDownIsTheErrorMessage) {
  home.Set("Database", "Port", "1");
  service->RunOnServiceLoop([&] {
    auto params = service->database().Params();
    params.push_back("Port=1");
    service->database().SetParams(params);
  });
  std::string result, name;
  ReadSoap(Envelope("soap", "<EinsatzWeiterleiten/>"), result, name);
  EXPECT_THAT(result, StartsWith("Fehler bei Datenbankverbindung: Can't connect to server on"));
  EXPECT_THAT(LogEntries(home.Log()), Contains("FEHLER    | " + result));
}

TEST_F(Dispatcher, LogsTheWholeRequestFirst) {
  std::string result, name;
  ReadSoap("<a>\r\n</a>\r\n", result, name);
  EXPECT_THAT(LogEntries(home.Log()), Contains("Info      |  Verarbeite: <a><CR><LF></a><CR><LF>"));
}

TEST(Mergehausnrkz, SuffixJoinsTheHouseNumber) {
  struct {
    std::string in, want;
  } cases[] = {
      {"<EoHausNr>12</EoHausNr><EoHausNrKz>a</EoHausNrKz>", "<EoHausNr>12a</EoHausNr>"},
      {"<EoHausNr>5</eohausnr><EoHausNrKz>b</EOHAUSNRKZ>", "<EoHausNr>5b</EoHausNr>"},
      {"<EoHausNr>12</EoHausNr>", "<EoHausNr>12</EoHausNr>"},  // no suffix: untouched
      {"<eohausnrkz>a</eohausnrkz><EoHausNr>1</EoHausNr>",
       "<eohausnrkz>a</eohausnrkz><EoHausNr>1</EoHausNr>"},  // the trigger is case-sensitive
  };
  for (const auto& c : cases) EXPECT_EQ(mergehausnrkz(c.in), c.want) << c.in;
}

TEST(Loadsoapxml, EntitiesStayAsWrittenAndNothingIsFetched) {
  struct {
    std::string name, request, want;
  } cases[] = {
      {"plain entities", "<a><v>A &amp; B &lt;C&gt; &#65;</v></a>", "A &amp; B &lt;C&gt; &#65;"},
      {"external entity",
       "<?xml version=\"1.0\"?><!DOCTYPE a [<!ENTITY xxe SYSTEM \"file:///etc/passwd\">]>"
       "<a><v>&xxe;</v></a>",
       "&xxe;"},
      {"billion laughs",
       "<?xml version=\"1.0\"?><!DOCTYPE a [<!ENTITY lol \"lol\">"
       "<!ENTITY lol1 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">"
       "<!ENTITY lol2 \"&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;&lol1;\">"
       "<!ENTITY lol9 \"&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;&lol2;\">]>"
       "<a><v>&lol9;</v></a>",
       "&lol9;"},
  };
  for (const auto& c : cases) {
    pugi::xml_document document;
    const auto start = std::chrono::steady_clock::now();
    ASSERT_NO_THROW(loadsoapxml(document, c.request)) << c.name;
    EXPECT_EQ(std::string(document.document_element().child("v").child_value()), c.want) << c.name;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1)) << c.name;
  }
  pugi::xml_document document;
  try {
    loadsoapxml(document, "<a><b></a>");
    FAIL() << "accepted";
  } catch (const std::exception& e) {
    EXPECT_THAT(e.what(), HasSubstr("Start-end tags mismatch"));
  }
}
