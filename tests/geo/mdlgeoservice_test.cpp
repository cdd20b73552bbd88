// Coordinate determination and address lookup against the test database,
// with the real converter (or a stand-in) beside a started service.
#include "geo/mdlgeoservice.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "lib/koordinatenkonverter.hpp"
#include "support/runningservice.hpp"

using Sulvane::VUX::KoordinatenKonverter::kKonverterName;
using testing::ElementsAreArray;
using testsupport::LogEntries;
using testsupport::WriteFile;

namespace {

constexpr const char* kStarte = "Info      |  Starte Koordinatenkonvertierung...";
constexpr const char* kFehlgeschlagen = "FEHLER    | Koordinatenermittlung fehlgeschlagen: ";

// A started service whose telegram link has no server, with a connection of
// the test's own.
struct Geo : testing::Test, testsupport::RunningService {
  Geo() : RunningService({.simulator = false, .connection = true}) {}

  std::size_t mark = 0;

  void StandIn(const std::string& body) const {
    WriteFile(home / kKonverterName, "#!/bin/sh\n" + body + "\n");
    std::filesystem::permissions(home / kKonverterName, std::filesystem::perms::owner_all);
  }
  void RemoveKonverter() const { std::filesystem::remove(home / kKonverterName); }

  std::string NewEinsatz(const std::string& columns = "", const std::string& values = "") {
    db.Exec("INSERT INTO EINSAETZE (EXTERNAL_ID" + columns + ") VALUES ('ILS-1'" + values + ")");
    return db.Value("SELECT MAX(EINSATZNUMMER) FROM EINSAETZE");
  }
  // KOORDX and KOORDY of an incident as stored ("NULL" for NULL).
  std::vector<std::string> Koordinaten(const std::string& nummer) {
    return db.Rows("SELECT KOORDX, KOORDY FROM EINSAETZE WHERE EINSATZNUMMER = " + nummer).at(0);
  }
  // The log entries written since the last call, without those of the
  // telegram link, which has no server in these tests.
  std::vector<std::string> NewLog() {
    const auto all = LogEntries(home.Log());
    std::vector<std::string> out;
    for (std::size_t i = mark; i < all.size(); ++i)
      if (all[i].find("TCP") == std::string::npos && all[i].find("VUX") == std::string::npos)
        out.push_back(all[i]);
    mark = all.size();
    return out;
  }
};

}  // namespace

TEST_F(Geo, ConvertsTheIlsPairToWgs84AndStoresIt) {
  InstallKonverter();
  // What `cs2cs -d 8 EPSG:31468 EPSG:4326` gives for Munich.
  struct {
    std::string x, y;
  } cases[] = {{"4468000", "5334000"}, {"4468000,0", "5334000,00"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.x + " " + c.y);
    const std::string nummer = NewEinsatz();
    NewLog();
    koordinatenermittlung(nummer, c.x, c.y, *connection);
    EXPECT_THAT(NewLog(), ElementsAreArray({std::string(kStarte),
                                            std::string("Info      |  Ergebnis: 11,56855948 "
                                                        "48,14322439")}));
    // Bound as floating-point numbers; the text columns hold them as the
    // server writes a double.
    EXPECT_THAT(Koordinaten(nummer), ElementsAreArray({"11.56855948", "48.14322439"}));
  }
}

TEST_F(Geo, StoresNothingWithoutACoordinatePair) {
  // Each failure leaves KOORDX NULL, so that the address lookup can fill it.
  struct {
    const char* what;
    std::function<void()> prepare;
    std::string x, y;
    std::vector<std::string> want_log;
  } cases[] = {
      {"no x",
       [this] { InstallKonverter(); },
       "",
       "5334000",
       {"Info      |  Keine Koordinaten übermittelt, Koordinaten-Transformation abgebrochen."}},
      {"no y",
       [this] { InstallKonverter(); },
       "4468000",
       "",
       {"Info      |  Keine Koordinaten übermittelt, Koordinaten-Transformation abgebrochen."}},
      {"converter absent",
       [this] { RemoveKonverter(); },
       "4468000",
       "5334000",
       {kStarte,
        std::string(kFehlgeschlagen) + "Anwendung koordinaten-konverter.exe nicht vorhanden."}},
      {"converter rejects the input",
       [this] { InstallKonverter(); },
       "abc",
       "5334000",
       {kStarte, std::string(kFehlgeschlagen) +
                     "Keine Koordinaten von koordinaten-konverter.exe erhalten."}},
      {"converter silent past the budget",
       [this] { StandIn("sleep 5"); },
       "4468000",
       "5334000",
       {kStarte, std::string(kFehlgeschlagen) +
                     "Keine Koordinaten von koordinaten-konverter.exe erhalten."}},
      {"converter output not two numbers",
       [this] { StandIn("echo '1.5 2.5 3.5'"); },
       "4468000",
       "5334000",
       {kStarte, std::string(kFehlgeschlagen) + "'2,5 3,5' ist kein gültiger Gleitkommawert"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    c.prepare();
    const std::string nummer = NewEinsatz();
    NewLog();
    koordinatenermittlung(nummer, c.x, c.y, *connection);
    EXPECT_THAT(NewLog(), ElementsAreArray(c.want_log));
    EXPECT_THAT(Koordinaten(nummer), ElementsAreArray({"NULL", "NULL"}));
  }
}

TEST_F(Geo, ADatabaseErrorIsLogged) {
  InstallKonverter();
  const std::string nummer = NewEinsatz();
  db.Exec("ALTER TABLE EINSAETZE RENAME COLUMN KOORDY TO KOORD_Y");
  NewLog();
  koordinatenermittlung(nummer, "4468000", "5334000", *connection);
  EXPECT_THAT(NewLog(), ElementsAreArray(
                            {std::string(kStarte),
                             std::string("Info      |  Ergebnis: 11,56855948 48,14322439"),
                             std::string(kFehlgeschlagen) + "Unknown column 'KOORDY' in 'SET'"}));
  EXPECT_EQ(db.Value("SELECT KOORDX FROM EINSAETZE WHERE EINSATZNUMMER = " + nummer), "NULL");
}

TEST_F(Geo, LooksUpTheObjectThenTheStreet) {
  db.Exec(
      "INSERT INTO OBJEKTE (OBJEKT, ORT, KOORDX, KOORDY) VALUES "
      "('Rathaus', 'Musterstadt', '11,5', '48,1'), "
      "('Schule', 'Musterstadt', '11.6', NULL), "
      "('Halle', 'Musterstadt', '11.6', ''), "
      "('Zum Ochs''n', 'St. Peter''s', '12.25', '47.75'), "
      "('Turm', 'Musterstadt', '11''5;6', '48;1')");
  db.Exec(
      "INSERT INTO STRASSEN (STRASSE, ORT, KOORDX, KOORDY) VALUES "
      "('Hauptstraße', 'Musterstadt', '11.7', '48.3'), "
      "('Feldweg', 'Musterstadt', NULL, '48.4'), "
      "('O''Brien-Weg', 'St. Peter''s', '12.5', '47.5')");
  struct {
    const char* what;
    std::string ort, strasse, objekt;
    std::string want;            // the SET list
    std::string want_x, want_y;  // the row after the opening tasks' update
  } cases[] = {
      {"object with KOORDY, decimal commas", "Musterstadt", "Hauptstraße", "Rathaus",
       " KOORDY='48.1', KOORDX='11.5'", "11.5", "48.1"},
      {"object with KOORDY NULL: the street", "Musterstadt", "Hauptstraße", "Schule",
       " KOORDY='48.3', KOORDX='11.7'", "11.7", "48.3"},
      {"object with empty KOORDY: the street", "Musterstadt", "Hauptstraße", "Halle",
       " KOORDY='48.3', KOORDX='11.7'", "11.7", "48.3"},
      {"object not found: the street", "Musterstadt", "Hauptstraße", "Kirche",
       " KOORDY='48.3', KOORDX='11.7'", "11.7", "48.3"},
      {"no object name: the street", "Musterstadt", "Hauptstraße", "",
       " KOORDY='48.3', KOORDX='11.7'", "11.7", "48.3"},
      {"object in another place: the street", "Anderswo", "Hauptstraße", "Rathaus", "", "NULL",
       "NULL"},
      {"street without KOORDX", "Musterstadt", "Feldweg", "", " KOORDY='48.4', KOORDX=''", "",
       "48.4"},
      {"street not found", "Musterstadt", "Nebenstraße", "Schule", "", "NULL", "NULL"},
      {"names with a quote", "St. Peter's", "O'Brien-Weg", "Zum Ochs'n",
       " KOORDY='47.75', KOORDX='12.25'", "12.25", "47.75"},
      {"street name with a quote", "St. Peter's", "O'Brien-Weg", "",
       " KOORDY='47.5', KOORDX='12.5'", "12.5", "47.5"},
      {"a quote in a coordinate stays inside its value", "Musterstadt", "", "Turm",
       " KOORDY='48,1', KOORDX='11''5,6'", "11'5,6", "48,1"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string nummer = NewEinsatz(
        ", ORT, STRASSE, OBJEKTNAME",
        ", " + Sulvane::Firedac::QuotedStr(c.ort) + ", " + Sulvane::Firedac::QuotedStr(c.strasse) +
            ", " +
            (c.objekt.empty() ? std::string("NULL") : Sulvane::Firedac::QuotedStr(c.objekt)));
    NewLog();
    const std::string result = getkoordinaten(nummer, *connection);
    EXPECT_EQ(result, c.want);
    EXPECT_THAT(NewLog(), testing::IsEmpty());
    // What the opening tasks do with it.
    if (!result.empty())
      db.Exec("UPDATE EINSAETZE SET " + result + " WHERE EINSATZNUMMER = " + nummer +
              " AND KOORDX IS NULL");
    EXPECT_THAT(Koordinaten(nummer), ElementsAreArray({c.want_x, c.want_y}));
  }
}

TEST_F(Geo, ReadsFloatingPointColumnsInTheRegionalForm) {
  db.Exec("ALTER TABLE STRASSEN MODIFY KOORDX DOUBLE, MODIFY KOORDY DOUBLE");
  db.Exec(
      "INSERT INTO STRASSEN (STRASSE, ORT, KOORDX, KOORDY) VALUES "
      "('Hauptstraße', 'Musterstadt', 11.75, 48.125)");
  const std::string nummer = NewEinsatz(", ORT, STRASSE", ", 'Musterstadt', 'Hauptstraße'");
  EXPECT_EQ(getkoordinaten(nummer, *connection), " KOORDY='48.125', KOORDX='11.75'");
}

TEST_F(Geo, UnknownIncidentsAndErrorsGiveNothing) {
  db.Exec(
      "INSERT INTO OBJEKTE (OBJEKT, ORT, KOORDX, KOORDY) VALUES "
      "('Schule', 'Musterstadt', '11.6', NULL)");
  EXPECT_EQ(getkoordinaten("987654", *connection), "") << "no such incident";
  EXPECT_EQ(getkoordinaten("", *connection), "") << "no number: the statement fails";
  // The object lookup finds no KOORDY and the street lookup fails: no half list.
  const std::string nummer =
      NewEinsatz(", ORT, STRASSE, OBJEKTNAME", ", 'Musterstadt', 'Hauptstraße', 'Schule'");
  db.Exec("DROP TABLE STRASSEN");
  NewLog();
  EXPECT_EQ(getkoordinaten(nummer, *connection), "");
  EXPECT_THAT(NewLog(), testing::IsEmpty());
}
