// The feedback and patient writers against the test database with the
// installation's field maps: the rows they leave, the log lines, and the
// field map list `codesl` afterwards. The last tests take in the resource
// writer too, which shares the map handling.
#include "soap/intake/saveprotokoll.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <span>

#include "lib/stringlist.hpp"
#include "soap/intake/saveeinsatzmittel.hpp"
#include "soap/protocol/readsoap.hpp"
#include "support/runningservice.hpp"

using Sulvane::Firedac::execsql;
using Sulvane::Firedac::TFDConnection;
using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::Eq;
using testing::IsEmpty;
using testing::Matcher;
using testing::StartsWith;

namespace {

using Rows = std::vector<std::vector<std::string>>;
using Writer = std::function<std::string(const std::string&, pugi::xml_node, TFDConnection&)>;

constexpr const char* kProtokollFailure = "FEHLER    | Fehler beim Verarbeiten des Protokolls. ";
constexpr const char* kPatientFailure = "FEHLER    | Fehler beim Verarbeiten der Patientendaten. ";

struct TCase {
  const char* name;
  std::vector<std::string> before;  // rows stored before the writer runs
  std::string einsatznummer;
  std::string xml;
  std::string want_result;
  Rows want_rows;
  std::vector<Matcher<std::string>> want_log;
};

// A started service with its telegram link up, and a connection of its own
// for the writers, as a request has.
struct EntryWriters : testing::Test, testsupport::RunningService {
  EntryWriters() : RunningService({.connection = true}) {}

  // Runs the writer on the element of `xml` and gives its result; the error
  // lines it logged are added to `errors`.
  std::string Run(const Writer& writer, const std::string& einsatznummer, const std::string& xml,
                  std::vector<std::string>& errors) {
    pugi::xml_document doc;
    loadsoapxml(doc, xml);
    const std::size_t mark = LogMark();
    const std::string result = writer(einsatznummer, doc.document_element(), *connection);
    for (const auto& e : LogSince(mark))
      if (e.starts_with("FEHLER")) errors.push_back(e);
    return result;
  }

  // Rows put in through the service's own connection, so that a backslash
  // is an ordinary character as in the service's statements.
  void Put(const std::vector<std::string>& statements) {
    for (const auto& s : statements) execsql(*connection, s);
  }

  // Each case on an empty `table`: the writer's result, the rows `select`
  // reads afterwards and the error lines logged.
  void Check(const Writer& writer, const std::string& table, const std::string& select,
             std::span<const TCase> cases) {
    for (const auto& c : cases) {
      db.Exec("DELETE FROM " + table);
      Put(c.before);
      std::vector<std::string> errors;
      EXPECT_EQ(Run(writer, c.einsatznummer, c.xml, errors), c.want_result) << c.name;
      EXPECT_EQ(db.Rows(select), c.want_rows) << c.name;
      EXPECT_THAT(errors, ElementsAreArray(c.want_log)) << c.name;
    }
  }
};

}  // namespace

TEST_F(EntryWriters, SaveprotokollInsertsOrUpdatesByEldisId) {
  const std::string stored =
      "INSERT INTO RUECKMELDUNGEN (ELDIS_ID,EINSATZNUMMER,MELDENDER,MELDUNG,KATEGORIE,ADD_TIME,"
      "ADD_USER) VALUES ";
  const TCase cases[] = {
      {"no id child", {}, "7", "<protokoll><Text>a</Text></protokoll>", "", {}, {}},
      {"empty id", {}, "7", "<protokoll><id></id><Text>a</Text></protokoll>", "", {}, {}},
      {"empty incident number",
       {},
       "",
       "<protokoll><id>900101</id><Text>a</Text></protokoll>",
       "",
       {},
       {}},
      {"insert: mapped children, unmapped ones left out, values quoted and converted",
       {},
       "7",
       "<protokoll><id>900101</id><Text>Zufahrt &amp; O'Brien C:\\Temp\\</Text>"
       "<Kategorie>Funk</Kategorie><EintragungsDatum>12.03.2024 14:15:00</EintragungsDatum>"
       "<Benutzer>Disponent 3</Benutzer><Unbekannt>x</Unbekannt></protokoll>",
       "",
       {{"900101", "7", "", "Zufahrt & O'Brien C:\\Temp\\", "Funk", "2024-03-12 14:15:00",
         "Disponent 3"}},
       {}},
      {"the last of several id children counts",
       {},
       "7",
       "<protokoll><Id>1</Id><ID>900102</ID><Text>a</Text>"
       "<EintragungsDatum>2024-03-12T14:15:00</EintragungsDatum></protokoll>",
       "",
       {{"900102", "7", "", "a", "NULL", "2024-03-12 14:15:00", "NULL"}},
       {}},
      {"update of the entry stored for this incident, German date converted",
       {stored + "(900101,7,'ILS','alt','Lage','2024-01-01 00:00:00','X')"},
       "7",
       "<protokoll><id>900101</id><Absender>RTW 71/1</Absender><Text>neu 'x'</Text>"
       "<EintragungsDatum>12.03.2024 14:16:00</EintragungsDatum></protokoll>",
       "7",
       {{"900101", "7", "ILS", "neu 'x'", "Lage", "2024-03-12 14:16:00", "X"}},
       {}},
      {"id stored for another incident: found, but the update keeps to this incident",
       {stored + "(900101,8,'ILS','alt','Lage','2024-01-01 00:00:00','X')"},
       "7",
       "<protokoll><id>900101</id><Text>neu</Text></protokoll>",
       "7",
       {{"900101", "8", "ILS", "alt", "Lage", "2024-01-01 00:00:00", "X"}},
       {}},
      {"a name inside a map line passes; its column is the line's",
       {},
       "7",
       "<protokoll><id>900101</id><Kat>Funk</Kat>"
       "<EintragungsDatum>12.03.2024 14:15:00</EintragungsDatum></protokoll>",
       "",
       {{"900101", "7", "", "NULL", "Funk", "2024-03-12 14:15:00", "NULL"}},
       {}},
      {"a name inside a map line without '=' before it is its own column",
       {},
       "7",
       "<protokoll><id>900101</id><egorie>Funk</egorie></protokoll>",
       "",
       {},
       {Eq(std::string(kProtokollFailure) + "Unknown column 'egorie' in 'INSERT INTO'")}},
      {"the sender has a column of its own beside the fixed MELDENDER",
       {},
       "7",
       "<protokoll><id>900101</id><Absender>ILS</Absender>"
       "<EintragungsDatum>12.03.2024 14:15:00</EintragungsDatum></protokoll>",
       "",
       {{"900101", "7", "", "NULL", "NULL", "2024-03-12 14:15:00", "NULL"}},
       {}},
  };
  Check(saveprotokoll, "RUECKMELDUNGEN",
        "SELECT ELDIS_ID,EINSATZNUMMER,MELDENDER,MELDUNG,KATEGORIE,ADD_TIME,ADD_USER FROM "
        "RUECKMELDUNGEN ORDER BY ID",
        cases);
}

TEST_F(EntryWriters, SavepatientenInsertsOrUpdatesByEldisId) {
  const std::string stored =
      "INSERT INTO PATIENTEN (ELDIS_ID,EINSATZNUMMER,NAME,VORNAME,GEBURTSDATUM,BEMERKUNG) VALUES ";
  const TCase cases[] = {
      {"no id child", {}, "7", "<patient><Name>a</Name></patient>", "", {}, {}},
      {"empty incident number",
       {},
       "",
       "<patient><id>700201</id><Name>a</Name></patient>",
       "",
       {},
       {}},
      {"insert: mapped children, values quoted and converted",
       {},
       "7",
       "<patient><id>700201</id><Name>O'Connor</Name><Vorname>Liam</Vorname>"
       "<Geburtsdatum>23.11.1975 00:00:00</Geburtsdatum><PatBemerkung>C:\\x\\</PatBemerkung>"
       "<Alter>48</Alter></patient>",
       "",
       {{"700201", "7", "O'Connor", "Liam", "1975-11-23", "C:\\x\\"}},
       {}},
      {"update within the incident, German date converted",
       {stored + "(700201,7,'Maier','Anna','1980-05-01','alt')"},
       "7",
       "<patient><id>700201</id><Name>Mai'er</Name>"
       "<Geburtsdatum>02.05.1980 00:00:00</Geburtsdatum></patient>",
       "7",
       {{"700201", "7", "Mai'er", "Anna", "1980-05-02", "alt"}},
       {}},
      {"id stored for another incident: a row of its own for this one",
       {stored + "(700201,8,'Maier','Anna','1980-05-01','alt')"},
       "7",
       "<patient><id>700201</id><Name>Maier</Name></patient>",
       "",
       {{"700201", "8", "Maier", "Anna", "1980-05-01", "alt"},
        {"700201", "7", "Maier", "NULL", "NULL", "NULL"}},
       {}},
      {"the update changes the rows of every incident with the id",
       {stored + "(700201,8,'Maier','Anna','1980-05-01','alt')",
        stored + "(700201,7,'Maier','Anna','1980-05-01','alt')"},
       "7",
       "<patient><id>700201</id><Name>Huber</Name></patient>",
       "7",
       {{"700201", "8", "Huber", "Anna", "1980-05-01", "alt"},
        {"700201", "7", "Huber", "Anna", "1980-05-01", "alt"}},
       {}},
      {"an id with _ updates its own rows only",
       {stored + "(70,7,'A',NULL,NULL,NULL)", stored + "(7001,8,'B',NULL,NULL,NULL)"},
       "7",
       "<patient><id>70_1</id><Name>C</Name></patient>",
       "7",
       {{"70", "7", "A", "NULL", "NULL", "NULL"}, {"7001", "8", "B", "NULL", "NULL", "NULL"}},
       {}},
      {"a value the column does not take fails the entry",
       {},
       "7",
       "<patient><id>700201</id><Name>a</Name><Geburtsdatum>gestern</Geburtsdatum></patient>",
       "",
       {},
       {StartsWith(std::string(kPatientFailure) + "Incorrect date value: 'gestern'")}},
  };
  Check(savepatienten, "PATIENTEN",
        "SELECT ELDIS_ID,EINSATZNUMMER,NAME,VORNAME,GEBURTSDATUM,BEMERKUNG FROM PATIENTEN ORDER "
        "BY ID",
        cases);
}

// The three writers share the map handling: each child is tested against the
// writer's own map file, and `codesl` is afterwards the incident map as it is
// on disk, whatever it held before.
struct TWriterCase {
  const char* name;
  Writer writer;
  const char* mapfile;
  const char* failure;
  const char* table;
  std::string xml;
};

const TWriterCase kWriters[] = {
    {"saveprotokoll", saveprotokoll, "protokollfelder.dat", kProtokollFailure, "RUECKMELDUNGEN",
     "<protokoll><id>900101</id><Text>a</Text></protokoll>"},
    {"savepatienten", savepatienten, "patfelder.dat", kPatientFailure, "PATIENTEN",
     "<patient><id>700201</id><Name>a</Name></patient>"},
    {"saveeinsatzmittel", saveeinsatzmittel, "emfelder.dat",
     "FEHLER    | Fehler beim Verarbeiten des Fahrzeugupdates. ", "EM_EINSAETZE",
     "<einsatzmittel><id>501</id><ZeitStatus3>12.03.2024 14:06:40</ZeitStatus3>"
     "</einsatzmittel>"},
};

TEST_F(EntryWriters, CodeslHoldsTheIncidentMapAsOnDiskAfterwards) {
  db.LoadSeed();
  const auto oltfelder = home / "oltfelder.dat";
  for (const auto& w : kWriters) {
    testsupport::WriteFile(oltfelder, testsupport::ReadFile(oltfelder) + w.name + "=Neu\r\n");
    service->codesl().Set({"vorher=Vorher"});
    std::vector<std::string> errors;
    Run(w.writer, "7", w.xml, errors);
    EXPECT_THAT(errors, IsEmpty()) << w.name;
    EXPECT_EQ(*service->codesl().Get(), LoadStringsFromFile(oltfelder)) << w.name;
    EXPECT_EQ(service->codesl().Get()->back(), std::string(w.name) + "=Neu") << w.name;
    EXPECT_EQ(db.Value(std::string("SELECT COUNT(*) FROM ") + w.table), "1") << w.name;
  }
}

TEST_F(EntryWriters, MissingMapFileFailsTheEntryAndLeavesCodesl) {
  db.LoadSeed();
  for (const auto& w : kWriters) {
    for (const std::string& missing : {std::string(w.mapfile), std::string("oltfelder.dat")}) {
      const auto file = home / missing;
      const auto kept = home / (missing + ".weg");
      std::filesystem::rename(file, kept);
      service->codesl().Set({"vorher=Vorher"});
      std::vector<std::string> errors;
      EXPECT_EQ(Run(w.writer, "7", w.xml, errors), "") << w.name << " without " << missing;
      EXPECT_THAT(errors, ElementsAre(std::string(w.failure) + "Datei " + file.string() +
                                      " kann nicht geöffnet werden. No such file or directory"))
          << w.name << " without " << missing;
      EXPECT_THAT(*service->codesl().Get(), ElementsAre("vorher=Vorher"))
          << w.name << " without " << missing;
      EXPECT_EQ(db.Value(std::string("SELECT COUNT(*) FROM ") + w.table), "0")
          << w.name << " without " << missing;
      std::filesystem::rename(kept, file);
    }
  }
}
