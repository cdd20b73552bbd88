// The opening work of a new incident as the centre sees it: the task rows,
// the incident's coordinates, the log and the telegrams at the VUX server.
#include "soap/intake/eroeffnungsaufgaben.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/runningservice.hpp"

using testing::ElementsAre;
using testing::IsEmpty;
using testsupport::LogEntries;

namespace {

using Rows = std::vector<std::vector<std::string>>;

// A started service with its telegram link up, on the demo catalogue.
struct Opening : testing::Test, testsupport::RunningService {
  Opening() : RunningService({.seed = true, .connection = true}) {}

  // An incident at an address; "NULL" leaves a coordinate unset.
  void Incident(const std::string& nummer, const std::string& ort, const std::string& strasse,
                const std::string& objekt, const std::string& x = "NULL",
                const std::string& y = "NULL") {
    const auto text = [](const std::string& v) { return v == "NULL" ? v : "'" + v + "'"; };
    db.Exec(
        "INSERT INTO EINSAETZE (EINSATZNUMMER, ORT, STRASSE, OBJEKTNAME, KOORDX, KOORDY) "
        "VALUES (" +
        nummer + ", '" + ort + "', '" + strasse + "', '" + objekt + "', " + text(x) + ", " +
        text(y) + ")");
  }

  // Runs the opening work and gives what it logged and what the VUX server
  // received, up to a last telegram of the test's own.
  struct Outcome {
    std::vector<std::string> log, telegrams;
  };
  Outcome Open(const std::string& nummer) {
    sim->ClearReceived();
    const std::size_t mark = LogMark();
    eroeffnungsaufgaben(nummer, *connection);
    Outcome outcome;
    outcome.telegrams = Telegrams();
    outcome.log = LogSince(mark);
    return outcome;
  }

  Rows Tasks() {
    return db.Rows(
        "SELECT EINSATZNUMMER, ALARM, TEXT, ANST_ID, WERT, AUFGABEN_ID, ADD_USER, FREE, "
        "ADD_TIME >= NOW() - INTERVAL 1 MINUTE FROM AUFGABEN ORDER BY ID");
  }
  Rows Coordinates(const std::string& nummer) {
    return db.Rows("SELECT KOORDX, KOORDY FROM EINSAETZE WHERE EINSATZNUMMER = " + nummer);
  }
};

}  // namespace

TEST_F(Opening, CatalogueTasksAreCopiedWithTheirAlarmFlag) {
  Incident("41", "Augsburg", "Unbekannte Gasse", "");
  const auto outcome = Open("41");
  // The task for the control target -5 is not alarmed; the one without
  // AUTOADD=2 is not copied.
  EXPECT_EQ(Tasks(),
            (Rows{
                {"41", "1", "Alarmierung Rettungsdienst", "1", "RD", "1", "OLTsrv", "1", "1"},
                {"41", "0", "Einsatzprotokoll anlegen", "-5", "", "2", "OLTsrv", "1", "1"},
            }));
  EXPECT_THAT(outcome.telegrams, ElementsAre("ALARM|AUSLOESEN"));
  EXPECT_THAT(outcome.log, IsEmpty());
}

TEST_F(Opening, AddressCoordinatesOnlyWhereNoneAreSet) {
  struct {
    std::string name, ort, strasse, objekt, x, y;
    Rows coordinates;
    std::vector<std::string> telegrams;
  } cases[] = {
      {"object",
       "München",
       "Marienplatz",
       "Neues Rathaus",
       "NULL",
       "NULL",
       {{"11.5761", "48.1374"}},
       {"MAP|EINSATZ|", "ALARM|AUSLOESEN"}},
      {"object without KOORDY: its street",
       "München",
       "Bayerstraße",
       "Hauptbahnhof",
       "NULL",
       "NULL",
       {{"11.5601", "48.1398"}},
       {"MAP|EINSATZ|", "ALARM|AUSLOESEN"}},
      {"street",
       "München",
       "Arnulfstraße",
       "",
       "NULL",
       "NULL",
       {{"11.5530", "48.1420"}},
       {"MAP|EINSATZ|", "ALARM|AUSLOESEN"}},
      {"already located: kept, still shown on the map",
       "München",
       "Marienplatz",
       "Neues Rathaus",
       "11.1",
       "48.9",
       {{"11.1", "48.9"}},
       {"MAP|EINSATZ|", "ALARM|AUSLOESEN"}},
      {"address unknown",
       "Augsburg",
       "Marienplatz",
       "Neues Rathaus",
       "NULL",
       "NULL",
       {{"NULL", "NULL"}},
       {"ALARM|AUSLOESEN"}},
  };
  int nummer = 50;
  for (const auto& c : cases) {
    const std::string n = std::to_string(++nummer);
    Incident(n, c.ort, c.strasse, c.objekt, c.x, c.y);
    const auto outcome = Open(n);
    EXPECT_EQ(Coordinates(n), c.coordinates) << c.name;
    std::vector<std::string> want = c.telegrams;
    if (want.size() == 2) want[0] += n;
    EXPECT_EQ(outcome.telegrams, want) << c.name;
    EXPECT_THAT(outcome.log, IsEmpty()) << c.name;
  }
}

TEST_F(Opening, WithoutCatalogueTasksTheIncidentIsStillLocatedAndAlarmed) {
  db.Exec("UPDATE STANDARD_AUFGABEN SET AUTOADD=0");
  Incident("41", "München", "Marienplatz", "Neues Rathaus");
  const auto outcome = Open("41");
  EXPECT_THAT(Tasks(), IsEmpty());
  EXPECT_EQ(Coordinates("41"), (Rows{{"11.5761", "48.1374"}}));
  EXPECT_THAT(outcome.telegrams, ElementsAre("MAP|EINSATZ|41", "ALARM|AUSLOESEN"));
}

TEST_F(Opening, EmptyNumberIsLoggedForEveryTask) {
  // A street without name and place would be found for an empty number.
  db.Exec("INSERT INTO STRASSEN (STRASSE, ORT, KOORDX, KOORDY) VALUES ('', '', '1,5', '2,5')");
  Incident("41", "", "", "");
  const auto outcome = Open("");
  EXPECT_THAT(outcome.log, ElementsAre("FEHLER    | Aufgabe <1> keine Einsatznummer übergeben.",
                                       "FEHLER    | Aufgabe <2> keine Einsatznummer übergeben."));
  EXPECT_THAT(Tasks(), IsEmpty());
  EXPECT_EQ(Coordinates("41"), (Rows{{"NULL", "NULL"}}));
  EXPECT_THAT(outcome.telegrams, ElementsAre("ALARM|AUSLOESEN"));
}

TEST_F(Opening, FailuresAreLoggedAtTheirLevels) {
  Incident("41", "München", "Marienplatz", "Neues Rathaus");
  Incident("42", "München", "Marienplatz", "Neues Rathaus");
  const std::string table = "Table '" + db.Name() + ".";

  // A task that cannot be written does not stop the others nor the rest.
  db.Exec("RENAME TABLE AUFGABEN TO AUFGABEN_WEG");
  auto outcome = Open("41");
  EXPECT_THAT(
      outcome.log,
      ElementsAre("FEHLER    | Fehler bei Addaufgabe: " + table + "AUFGABEN' doesn't exist",
                  "FEHLER    | Fehler bei Addaufgabe: " + table + "AUFGABEN' doesn't exist"));
  EXPECT_EQ(Coordinates("41"), (Rows{{"11.5761", "48.1374"}}));
  EXPECT_THAT(outcome.telegrams, ElementsAre("MAP|EINSATZ|41", "ALARM|AUSLOESEN"));

  // Without the catalogue the opening work ends there: no coordinates, no alarm.
  db.Exec("RENAME TABLE STANDARD_AUFGABEN TO STANDARD_AUFGABEN_WEG");
  outcome = Open("42");
  EXPECT_THAT(outcome.log, ElementsAre("Info      |  Fehler bei Eröffnungsaufgaben: " + table +
                                       "STANDARD_AUFGABEN' doesn't exist"));
  EXPECT_EQ(Coordinates("42"), (Rows{{"NULL", "NULL"}}));
  EXPECT_THAT(outcome.telegrams, IsEmpty());
}

TEST_F(Opening, UnknownCatalogueIdAddsNothing) {
  struct {
    std::string name, id;
  } cases[] = {
      {"no such id", "99"},
      {"a pattern", "%"},
  };
  for (const auto& c : cases) {
    const auto before = LogEntries(home.Log()).size();
    Addaufgabe(c.id, "41", *connection);
    EXPECT_THAT(Tasks(), IsEmpty()) << c.name;
    EXPECT_EQ(LogEntries(home.Log()).size(), before) << c.name << ": nothing logged";
  }
}
