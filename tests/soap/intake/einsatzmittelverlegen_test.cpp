// EinsatzmittelVerlegen as the ILS and the centre see it: a request posted
// over HTTPS, the reply, the rows of EINSATZMITTEL and HISTORY, and the
// telegrams at the VUX server.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "soap/protocol/envelope.hpp"
#include "support/runningservice.hpp"

using testing::ElementsAreArray;
using testing::IsEmpty;
using testsupport::ReadFile;

namespace {

using Rows = std::vector<std::vector<std::string>>;

constexpr const char* kResponse = "olt:EinsatzmittelVerlegenResponse";
constexpr const char* kFailed = "Einsatzmittelverlegen - Daten konnten nicht verarbeitet werden.";

// The resources: (RUFNAME, STATUS, DISPOSITION, ZEITSTEMPEL within the last minute).
const Rows kStart = {
    {"RTW 71/1", "2", "0", "0"}, {"RTW 72/1", "6", "0", "0"}, {"KTW 73/1", "3", "0", "0"},
    {"RTW 7'4", "6", "0", "0"},  {"NEF 76/1", "6", "0", "0"},  // no ILS id
};

// A started service with its telegram link up and the resources of kStart.
struct Relocation : testing::Test, testsupport::RunningService {
  void SetUp() override { Reset(); }

  void Reset() {
    db.Exec("DELETE FROM HISTORY");
    db.Exec("DELETE FROM EINSATZMITTEL");
    db.Exec(
        "INSERT INTO EINSATZMITTEL (ID, RUFNAME, EXTERNAL_ID, STATUS, DISPOSITION, ZEITSTEMPEL) "
        "VALUES (1, 'RTW 71/1', '501', '2', 0, '2020-01-01 00:00:00'),"
        " (2, 'RTW 72/1', '504', '6', 0, '2020-01-01 00:00:00'),"
        " (3, 'KTW 73/1', '505', '3', 0, '2020-01-01 00:00:00'),"
        " (4, 'RTW 7''4', '507', '6', 0, '2020-01-01 00:00:00'),"
        " (5, 'NEF 76/1', NULL, '6', 0, '2020-01-01 00:00:00')");
    sim->ClearReceived();
  }

  Rows Resources() {
    return db.Rows(
        "SELECT RUFNAME, STATUS, DISPOSITION, ZEITSTEMPEL >= NOW() - INTERVAL 1 MINUTE "
        "FROM EINSATZMITTEL ORDER BY ID");
  }
  Rows History() {
    return db.Rows("SELECT RUFNAME, MELDUNG, MELDUNG_KURZ, KANAL FROM HISTORY ORDER BY ID");
  }
};

std::string Request(const std::string& children) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<soap:Envelope "
         "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body>"
         "<EinsatzmittelVerlegen xmlns=\"http://tempuri.org/OltServiceOlt\">"
         "<Sender xmlns=\"\">ILS Musterstadt</Sender>" +
         children + "</EinsatzmittelVerlegen></soap:Body></soap:Envelope>";
}

std::vector<std::string> Announced(const std::string& rufname) {
  return {"UPDATE|EMITTEL|" + rufname,
          "UPDATE|OLTLOG|-|Einsatzmittel <" + rufname + "> zu OLT verlegt."};
}

Rows Changed(Rows rows, std::size_t index, const std::vector<std::string>& row) {
  rows[index] = row;
  return rows;
}

}  // namespace

TEST_F(Relocation, KnownResourceIsFreedAndAnnounced) {
  struct {
    std::string name, request;
    Rows resources;
    std::string rufname;
  } cases[] = {
      {"status 6 becomes 2 (the sample request)",
       ReadFile(std::string(OLTSRV_SOURCE_DIR) + "/examples/EinsatzmittelVerlegen.xml"),
       Changed(kStart, 1, {"RTW 72/1", "2", "1", "1"}), "RTW 72/1"},
      {"status 3 stays", Request("<id>505</id>"), Changed(kStart, 2, {"KTW 73/1", "3", "1", "0"}),
       "KTW 73/1"},
      {"status 2 stays", Request("<id>501</id>"), Changed(kStart, 0, {"RTW 71/1", "2", "1", "0"}),
       "RTW 71/1"},
      {"call sign with a quote", Request("<id>507</id>"),
       Changed(kStart, 3, {"RTW 7'4", "2", "1", "1"}), "RTW 7'4"},
      {"id element in capitals, prefixed, the last one counts",
       Request("<x:ID xmlns:x=\"urn:x\">505</x:ID><Id>504</Id>"),
       Changed(kStart, 1, {"RTW 72/1", "2", "1", "1"}), "RTW 72/1"},
  };
  for (const auto& c : cases) {
    Reset();
    EXPECT_EQ(Post(c.request), makesoapresponse("", kResponse)) << c.name;
    EXPECT_EQ(Resources(), c.resources) << c.name;
    EXPECT_EQ(History(), (Rows{{c.rufname, "2 - (Freig.)", "2", "ILS"}})) << c.name;
    EXPECT_THAT(Telegrams(), ElementsAreArray(Announced(c.rufname))) << c.name;
  }
  EXPECT_THAT(Errors(), IsEmpty());
}

TEST_F(Relocation, RefusedRequestsChangeNothing) {
  struct {
    std::string name, children, reply;
  } cases[] = {
      {"no id", "<Kennung>504</Kennung>", "Keine ID gefunden."},
      {"empty id", "<id></id>", "Keine ID gefunden."},
      {"unknown id", "<id>999</id>", "Kein Einsatzmittel mit dieser ID gefunden!"},
      {"SQL after the number", "<id>504 OR 1=1</id>", kFailed},
      {"statement after the number", "<id>504;DELETE FROM HISTORY</id>", kFailed},
      {"letters", "<id>ABC</id>", kFailed},
      {"blank before", "<id> 504</id>", kFailed},
      {"sign", "<id>-504</id>", kFailed},
      {"decimal point", "<id>504.0</id>", kFailed},
      {"entity", "<id>&#53;04</id>", kFailed},
  };
  for (const auto& c : cases) {
    Reset();
    EXPECT_EQ(Post(Request(c.children)), makesoapresponse(c.reply, kResponse)) << c.name;
    EXPECT_EQ(Resources(), kStart) << c.name;
    EXPECT_THAT(History(), IsEmpty()) << c.name;
    EXPECT_THAT(Telegrams(), IsEmpty()) << c.name;
  }
  EXPECT_THAT(Errors(), IsEmpty()) << "refusals are not logged";
}

TEST_F(Relocation, TwiceWritesTwoHistoryEntries) {
  for (int i = 0; i < 2; ++i)
    EXPECT_EQ(Post(Request("<id>504</id>")), makesoapresponse("", kResponse)) << "request " << i;
  EXPECT_EQ(Resources(), Changed(kStart, 1, {"RTW 72/1", "2", "1", "1"}));
  const std::vector<std::string> entry = {"RTW 72/1", "2 - (Freig.)", "2", "ILS"};
  EXPECT_EQ(History(), (Rows{entry, entry}));
  const auto once = Announced("RTW 72/1");
  EXPECT_THAT(Telegrams(), ElementsAreArray({once[0], once[1], once[0], once[1]}));
}
