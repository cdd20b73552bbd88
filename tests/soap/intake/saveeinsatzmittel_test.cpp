// The resource assignment writer against the test database with the
// installation's field maps and the demo catalogue: the rows of EM_EINSAETZE
// and EINSATZMITTEL it leaves, its log lines, and the telegrams the VUX
// server receives.
#include "soap/intake/saveeinsatzmittel.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "soap/protocol/readsoap.hpp"
#include "support/runningservice.hpp"

using Sulvane::Firedac::execsql;
using Sulvane::Firedac::TFDConnection;
using testing::ElementsAreArray;
using testing::Eq;
using testing::Matcher;
using testing::StartsWith;

namespace {

using Rows = std::vector<std::vector<std::string>>;

constexpr const char* kFailure = "FEHLER    | Fehler beim Verarbeiten des Fahrzeugupdates. ";
constexpr const char* kNoId = "FEHLER    | Einsatzmittel-ID nicht im XML gefunden!";
constexpr const char* kAssigned =
    "INSERT INTO EM_EINSAETZE (RUFNAME,EINSATZNUMMER,AKTIV,STATUS1) VALUES ";
constexpr const char* kRtw = "UPDATE|EMITTEL|RTW 71/1";

struct TCase {
  const char* name;
  std::vector<std::string> before;  // assignments stored before the writer runs
  std::string einsatznummer;
  std::string xml;
  std::string want_result;
  Rows want_assignments;
  Rows want_moved;
  std::vector<std::string> want_telegrams;
  std::vector<Matcher<std::string>> want_log;
};

// A started service with its telegram link up, the demo catalogue's
// resources and a connection of its own for the writer, as a request has.
struct ResourceWriter : testing::Test, testsupport::RunningService {
  ResourceWriter() : RunningService({.seed = true, .connection = true}) {}

  void SetUp() override {
    // Call signs with LIKE wildcards, an escape character and a quote; put in
    // through the service's connection, where a backslash is a character.
    execsql(*connection,
            "INSERT INTO EINSATZMITTEL (RUFNAME, EXTERNAL_ID, STATUS) VALUES ('RTW 7_1', '601', "
            "'2'), ('RTW 7x1', '602', '2'), ('RTW 7%', '603', '2'), ('RTW 7\\1', '604', '2'), "
            "('RTW 7''1', '605', '2')");
  }

  // Every resource back to free and unassigned with an old time stamp, no
  // assignments; then the rows of the case.
  void Reset(const std::vector<std::string>& before) {
    db.Exec("DELETE FROM EM_EINSAETZE");
    db.Exec(
        "UPDATE EINSATZMITTEL SET STATUS='2', EINSATZ=NULL, EINSATZNUMMER=NULL, "
        "ZEITSTEMPEL='2001-01-01 00:00:00'");
    for (const auto& s : before) execsql(*connection, s);
    sim->ClearReceived();
  }

  // Runs the writer; the error lines it logged go to `errors`, the telegrams
  // it sent to `telegrams`.
  std::string Run(const std::string& einsatznummer, const std::string& xml,
                  std::vector<std::string>& errors, std::vector<std::string>& telegrams) {
    pugi::xml_document doc;
    loadsoapxml(doc, xml);
    const std::size_t mark = LogMark();
    const std::string result =
        saveeinsatzmittel(einsatznummer, doc.document_element(), *connection);
    for (const auto& e : LogSince(mark))
      if (e.starts_with("FEHLER")) errors.push_back(e);
    telegrams = Telegrams();
    return result;
  }

  void Check(const TCase& c) {
    Reset(c.before);
    std::vector<std::string> errors, telegrams;
    EXPECT_EQ(Run(c.einsatznummer, c.xml, errors, telegrams), c.want_result) << c.name;
    EXPECT_EQ(Assignments(), c.want_assignments) << c.name;
    EXPECT_EQ(Moved(), c.want_moved) << c.name;
    EXPECT_EQ(telegrams, c.want_telegrams) << c.name;
    EXPECT_THAT(errors, ElementsAreArray(c.want_log)) << c.name;
  }

  // The assignments: RUFNAME, EINSATZNUMMER, AKTIV, STATUS1..STATUS6.
  Rows Assignments() {
    return db.Rows(
        "SELECT RUFNAME,EINSATZNUMMER,AKTIV,STATUS1,STATUS2,STATUS3,STATUS4,STATUS5,STATUS6 "
        "FROM EM_EINSAETZE ORDER BY ID");
  }
  // The resources that differ from free and unassigned: RUFNAME, STATUS,
  // EINSATZ, EINSATZNUMMER, whether ZEITSTEMPEL was set.
  Rows Moved() {
    return db.Rows(
        "SELECT RUFNAME,STATUS,EINSATZ,EINSATZNUMMER,ZEITSTEMPEL<>'2001-01-01 00:00:00' FROM "
        "EINSATZMITTEL WHERE STATUS<>'2' OR EINSATZ IS NOT NULL OR EINSATZNUMMER IS NOT NULL OR "
        "ZEITSTEMPEL<>'2001-01-01 00:00:00' ORDER BY ID");
  }
};

// An einsatzmittel element with the id and further children.
std::string Element(const std::string& id, const std::string& children = "") {
  return "<einsatzmittel><id>" + id + "</id><Rufname>egal</Rufname>" + children +
         "</einsatzmittel>";
}
std::string Zeit(const std::string& element, const std::string& value) {
  return "<" + element + ">" + value + "</" + element + ">";
}

const std::string kS1 = Zeit("ZeitStatus3", "12.03.2024 14:06:40");  // status1
const std::string kS2 = Zeit("ZeitStatus4", "12.03.2024 14:13:40");  // status2
const std::string kS3 = Zeit("ZeitStatus7", "12.03.2024 14:30:00");  // status3
const std::string kS4 = Zeit("ZeitStatus8", "12.03.2024 14:45:00");  // status4
const std::string kS5 = Zeit("ZeitStatus1", "12.03.2024 15:00:00");  // status5
const std::string kS6 = Zeit("ZeitStatus2", "12.03.2024 15:20:00");  // status6
const std::string N = "NULL";
const std::string T1 = "2024-03-12 14:06:40", T2 = "2024-03-12 14:13:40",
                  T3 = "2024-03-12 14:30:00", T4 = "2024-03-12 14:45:00",
                  T5 = "2024-03-12 15:00:00", T6 = "2024-03-12 15:20:00";

}  // namespace

TEST_F(ResourceWriter, StatusLevelDecidesTheResourceRowAndTheTelegram) {
  const std::string mine = std::string(kAssigned) + "('RTW 71/1',7,1,'2024-03-12 10:00:00')";
  const std::string elsewhere = std::string(kAssigned) + "('RTW 71/1',5,1,NULL)";
  const TCase cases[] = {
      // Insert path: a new assignment of the resource to incident 7.
      {"new, level 0: assigned",
       {},
       "7",
       Element("501"),
       "",
       {{"RTW 71/1", "7", "1", N, N, N, N, N, N}},
       {{"RTW 71/1", "2", "7", "7", "0"}},
       {kRtw},
       {}},
      {"new, level 1: status 3",
       {},
       "7",
       Element("501", kS1),
       "",
       {{"RTW 71/1", "7", "1", T1, N, N, N, N, N}},
       {{"RTW 71/1", "3", "7", "7", "1"}},
       {kRtw},
       {}},
      {"new, level 2 whatever status1 holds: status 4",
       {},
       "7",
       Element("501", kS2),
       "",
       {{"RTW 71/1", "7", "1", N, T2, N, N, N, N}},
       {{"RTW 71/1", "4", "7", "7", "1"}},
       {kRtw},
       {}},
      {"new, level 3: resource untouched",
       {},
       "7",
       Element("501", kS1 + kS3),
       "",
       {{"RTW 71/1", "7", "1", T1, N, T3, N, N, N}},
       {},
       {},
       {}},
      {"new, level 4: resource untouched",
       {},
       "7",
       Element("501", kS4),
       "",
       {{"RTW 71/1", "7", "1", N, N, N, T4, N, N}},
       {},
       {},
       {}},
      {"new, level 5: only the incident number",
       {},
       "7",
       Element("501", kS5),
       "",
       {{"RTW 71/1", "7", "1", N, N, N, N, T5, N}},
       {{"RTW 71/1", "2", N, "7", "0"}},
       {},
       {}},
      {"new, level 6: every assignment of the call sign inactive",
       {elsewhere},
       "7",
       Element("501", kS1 + kS6),
       "",
       {{"RTW 71/1", "5", "0", N, N, N, N, N, N}, {"RTW 71/1", "7", "0", T1, N, N, N, N, T6}},
       {},
       {},
       {}},
      {"new for another incident: a second assignment",
       {elsewhere},
       "7",
       Element("501"),
       "",
       {{"RTW 71/1", "5", "1", N, N, N, N, N, N}, {"RTW 71/1", "7", "1", N, N, N, N, N, N}},
       {{"RTW 71/1", "2", "7", "7", "0"}},
       {kRtw},
       {}},
      // Update path: the assignment to incident 7 exists (status1 filled).
      {"again, level 1",
       {mine},
       "7",
       Element("501"),
       "7",
       {{"RTW 71/1", "7", "1", "2024-03-12 10:00:00", N, N, N, N, N}},
       {{"RTW 71/1", "3", "7", "7", "1"}},
       {kRtw},
       {}},
      {"again, level 2, German date converted",
       {mine},
       "7",
       Element("501", kS2),
       "7",
       {{"RTW 71/1", "7", "1", "2024-03-12 10:00:00", T2, N, N, N, N}},
       {{"RTW 71/1", "4", "7", "7", "1"}},
       {kRtw},
       {}},
      {"again, level 3",
       {mine},
       "7",
       Element("501", kS1 + kS3),
       "7",
       {{"RTW 71/1", "7", "1", T1, N, T3, N, N, N}},
       {},
       {},
       {}},
      {"again, level 5",
       {mine},
       "7",
       Element("501", kS5),
       "7",
       {{"RTW 71/1", "7", "1", "2024-03-12 10:00:00", N, N, N, T5, N}},
       {{"RTW 71/1", "2", N, "7", "0"}},
       {},
       {}},
      {"again, level 6",
       {elsewhere, mine},
       "7",
       Element("501", kS6),
       "7",
       {{"RTW 71/1", "5", "0", N, N, N, N, N, N},
        {"RTW 71/1", "7", "0", "2024-03-12 10:00:00", N, N, N, N, T6}},
       {},
       {},
       {}},
  };
  for (const auto& c : cases) Check(c);
}

TEST_F(ResourceWriter, WhatIsNotWrittenAndWhy) {
  const TCase cases[] = {
      {"no id child",
       {},
       "7",
       "<einsatzmittel><Rufname>RTW 71/1</Rufname></einsatzmittel>",
       "",
       {},
       {},
       {},
       {Eq(kNoId)}},
      {"empty id", {}, "7", Element(""), "", {}, {}, {}, {Eq(kNoId)}},
      {"empty incident number", {}, "", Element("501", kS1), "", {}, {}, {}, {Eq(kNoId)}},
      {"unknown resource",
       {},
       "7",
       Element("999", kS1),
       "",
       {},
       {},
       {},
       {Eq("FEHLER    | Einsatzmittel-ID (999) nicht im System gefunden!")}},
      {"an id with a quote is a value, not SQL",
       {},
       "7",
       Element("501' OR ''='", kS1),
       "",
       {},
       {},
       {},
       {Eq("FEHLER    | Einsatzmittel-ID (501' OR ''=') nicht im System gefunden!")}},
      {"a value the column does not take",
       {},
       "7",
       Element("501", Zeit("ZeitStatus3", "kein Datum")),
       "",
       {},
       {},
       {},
       {StartsWith(std::string(kFailure) + "Incorrect datetime value: 'kein Datum'")}},
  };
  for (const auto& c : cases) Check(c);
}

TEST_F(ResourceWriter, CallSignsMatchOnlyThemselves) {
  // RTW 7_1 and RTW 7% would match RTW 7x1 as LIKE patterns; each case has
  // an assignment of RTW 7x1 to the same incident that must stay as it is.
  const std::string other = std::string(kAssigned) + "('RTW 7x1',7,1,'2024-03-12 10:00:00')";
  const std::vector<std::string> x1 = {"RTW 7x1", "7", "1", "2024-03-12 10:00:00", N, N, N, N, N};
  const TCase cases[] = {
      {"new, level 1, call sign with _",
       {other},
       "7",
       Element("601", kS1),
       "",
       {x1, {"RTW 7_1", "7", "1", T1, N, N, N, N, N}},
       {{"RTW 7_1", "3", "7", "7", "1"}},
       {"UPDATE|EMITTEL|RTW 7_1"},
       {}},
      {"new, level 6, call sign with %",
       {other},
       "7",
       Element("603", kS6),
       "",
       {x1, {"RTW 7%", "7", "0", N, N, N, N, N, T6}},
       {},
       {},
       {}},
      {"new, level 2, call sign with \\",
       {other},
       "7",
       Element("604", kS2),
       "",
       {x1, {"RTW 7\\1", "7", "1", N, T2, N, N, N, N}},
       {{"RTW 7\\1", "4", "7", "7", "1"}},
       {"UPDATE|EMITTEL|RTW 7\\1"},
       {}},
      {"new, level 0, call sign with a quote",
       {other},
       "7",
       Element("605"),
       "",
       {x1, {"RTW 7'1", "7", "1", N, N, N, N, N, N}},
       {{"RTW 7'1", "2", "7", "7", "0"}},
       {"UPDATE|EMITTEL|RTW 7'1"},
       {}},
      {"again, call sign with _",
       {other, std::string(kAssigned) + "('RTW 7_1',7,1,NULL)"},
       "7",
       Element("601", kS2),
       "7",
       {x1, {"RTW 7_1", "7", "1", N, T2, N, N, N, N}},
       {{"RTW 7_1", "4", "7", "7", "1"}},
       {"UPDATE|EMITTEL|RTW 7_1"},
       {}},
      {"again, level 6, call sign with %",
       {other, std::string(kAssigned) + "('RTW 7%',7,1,NULL)"},
       "7",
       Element("603", kS6),
       "7",
       {x1, {"RTW 7%", "7", "0", N, N, N, N, N, T6}},
       {},
       {},
       {}},
  };
  for (const auto& c : cases) Check(c);
}
