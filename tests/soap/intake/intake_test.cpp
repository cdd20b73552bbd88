// The incident intake end to end: SOAP requests posted over HTTPS to a
// running service end as rows in MariaDB and telegrams at the VUX server.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "service/mdlserver.hpp"
#include "soap/intake/handlers.hpp"
#include "soap/protocol/envelope.hpp"
#include "soap/protocol/readsoap.hpp"
#include "support/runningservice.hpp"

using testing::Contains;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::Not;
using testsupport::LogEntries;
using Rows = std::vector<std::vector<std::string>>;

namespace {

std::string Example(const std::string& name) {
  return testsupport::ReadFile(std::string(OLTSRV_SOURCE_DIR) + "/examples/" + name);
}

// A running service on the test database with the demo catalogue, the real
// coordinate converter beside it and the simulated VUX server at its link.
// The ILS sends times with their offset; the centre stores local time.
struct Intake : testing::Test, testsupport::RunningService {
  Intake() : RunningService({.seed = true, .konverter = true, .time_zone = "Europe/Berlin"}) {}

  std::string Number(const std::string& ilsid) {
    return db.Value("SELECT EINSATZNUMMER FROM EINSAETZE WHERE EXTERNAL_ID = '" + ilsid + "'");
  }
  // Calls a handler directly, as the dispatcher does, with a forwarding code.
  std::string Handle(const std::string& request, int weiterleitung) {
    pugi::xml_document doc;
    loadsoapxml(doc, mergehausnrkz(request));
    const pugi::xml_node operation =
        doc.document_element().first_element_by_path("soap:Body").first_child();
    auto connection = service->createconnection();
    std::string result = "Soap konnte nicht gelesen werden.";
    if (std::string(operation.name()) == "EinsatzInfoWeiterleiten")
      Einsatzinfoweiterleiten(result, operation, weiterleitung, *connection);
    else
      Einsatzweiterleiten(result, operation, weiterleitung, *connection);
    return result;
  }
};

std::string Request(const std::string& operation, const std::string& einsatz) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?><soap:Envelope "
         "xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body><" +
         operation + " xmlns=\"http://tempuri.org/OltServiceOlt\">" + einsatz + "</" + operation +
         "></soap:Body></soap:Envelope>";
}

}  // namespace

TEST_F(Intake, ForwardedIncidentIsStoredCompletelyAndAnnounced) {
  EXPECT_EQ(Post(Example("EinsatzWeiterleiten.xml")),
            makesoapresponse("", "olt:EinsatzWeiterleitenResponse"));
  const std::string n = Number("ILS-2024-000123");
  ASSERT_FALSE(n.empty());
  EXPECT_EQ(db.Rows("SELECT OLT_CREATED, BACKTOILS, OLT_STATUS, STATUS, STRASSE, HAUSNUMMER, ORT, "
                    "BEGINN, ALARMZEIT, BEMERKUNG, FREITEXT, EINSATZSTICHWORT4 FROM EINSAETZE"),
            (Rows{{"0", "1", "0", "Erfasst", "Marienplatz", "8a", "München", "2024-03-12 14:05:00",
                   "2024-03-12 14:06:30", "Polizei verständigt & vor Ort",
                   "Anrufer meldet auslaufende Betriebsstoffe; Feuerwehr \"Löschzug 1\" "
                   "nachgefordert",
                   "Ü-Kreis"}}));
  // The ILS's Gauss-Krüger coordinates as WGS 84, longitude first.
  const auto coordinates = db.Rows("SELECT KOORDX, KOORDY FROM EINSAETZE")[0];
  EXPECT_NEAR(std::stod(coordinates[0]), 11.56855948, 1e-6) << coordinates[0];
  EXPECT_NEAR(std::stod(coordinates[1]), 48.14322439, 1e-6) << coordinates[1];

  EXPECT_EQ(
      db.Rows("SELECT ELDIS_ID, EINSATZNUMMER, ABSENDER, MELDUNG, ADD_TIME FROM "
              "RUECKMELDUNGEN ORDER BY ELDIS_ID"),
      (Rows{{"900101", n, "ILS Musterstadt", "Einsatz an OLT übergeben", "2024-03-12 14:05:10"},
            {"900102", n, "RTW 71/1", "Eintreffen an der Einsatzstelle", "2024-03-12 14:13:40"},
            {"900103", n, "NEF 76/1", "Patient 1 eingeklemmt, technische Rettung läuft",
             "2024-03-12 14:15:00"}}));
  EXPECT_EQ(db.Rows("SELECT ELDIS_ID, NAME, GEBURTSDATUM FROM PATIENTEN ORDER BY ELDIS_ID"),
            (Rows{{"700201", "Maier", "1980-05-01"}, {"700202", "O'Connor", "1975-11-23"}}));
  EXPECT_EQ(db.Rows("SELECT RUFNAME, AKTIV, STATUS1, STATUS2 FROM EM_EINSAETZE ORDER BY ID"),
            (Rows{{"RTW 71/1", "1", "2024-03-12 14:06:40", "2024-03-12 14:13:40"},
                  {"NEF 76/1", "1", "2024-03-12 14:07:00", "NULL"},
                  {"RTW 71/2", "1", "NULL", "NULL"}}));
  EXPECT_EQ(db.Rows("SELECT RUFNAME, STATUS, EINSATZNUMMER FROM EINSATZMITTEL WHERE EXTERNAL_ID "
                    "IN ('501','502','503') ORDER BY EXTERNAL_ID"),
            (Rows{{"RTW 71/1", "4", n}, {"NEF 76/1", "3", n}, {"RTW 71/2", "2", n}}));
  EXPECT_EQ(db.Rows("SELECT TEXT, ALARM, ADD_USER, FREE FROM AUFGABEN ORDER BY ID"),
            (Rows{{"Alarmierung Rettungsdienst", "1", "OLTsrv", "1"},
                  {"Einsatzprotokoll anlegen", "0", "OLTsrv", "1"}}));
  EXPECT_THAT(Telegrams(), ElementsAre("UPDATE|EMITTEL|RTW 71/1", "UPDATE|EMITTEL|NEF 76/1",
                                       "UPDATE|EMITTEL|RTW 71/2", "MAP|EINSATZ|" + n,
                                       "ALARM|AUSLOESEN", "EINSATZ|NEW|" + n));
  EXPECT_THAT(LogEntries(home.Log()), Contains("Info      |  Einsatz angelegt: " + n));
  EXPECT_THAT(Errors(), testing::IsEmpty());

  // The same incident again: the row is updated, no second opening tasks.
  EXPECT_EQ(Post(Example("EinsatzWeiterleiten.xml")),
            makesoapresponse("", "olt:EinsatzWeiterleitenResponse"));
  EXPECT_EQ(db.Value("SELECT COUNT(*) FROM EINSAETZE"), "1");
  EXPECT_EQ(db.Value("SELECT COUNT(*) FROM AUFGABEN"), "2");
  EXPECT_EQ(db.Value("SELECT COUNT(*) FROM RUECKMELDUNGEN"), "3");
  EXPECT_EQ(db.Value("SELECT COUNT(*) FROM EM_EINSAETZE"), "3");
  EXPECT_THAT(Telegrams(), ElementsAre("UPDATE|EMITTEL|RTW 71/1", "UPDATE|EMITTEL|NEF 76/1",
                                       "UPDATE|EMITTEL|RTW 71/2", "EINSATZ|UPDATE|" + n));
  EXPECT_THAT(Errors(), testing::IsEmpty());
}

TEST_F(Intake, InfoIncidentGetsNoStatusReportsAndLogTelegrams) {
  EXPECT_EQ(Post(Example("EinsatzInfoWeiterleiten.xml")),
            makesoapresponse("", "olt:EinsatzInfoWeiterleitenResponse"));
  const std::string n = Number("ILS-2024-000124");
  EXPECT_EQ(db.Rows("SELECT BACKTOILS, OLT_CREATED, STATUS FROM EINSAETZE"),
            (Rows{{"0", "0", "Erfasst"}}));
  EXPECT_THAT(
      Telegrams(),
      ElementsAre("MAP|EINSATZ|" + n, "ALARM|AUSLOESEN", "EINSATZ|NEW|" + n,
                  "UPDATE|OLTLOG|" + n + "|Neuer Einsatz wurde von ILS als Info weitergeleitet."));
  Post(Example("EinsatzInfoWeiterleiten.xml"));
  EXPECT_THAT(Telegrams(), ElementsAre("EINSATZ|UPDATE|" + n,
                                       "UPDATE|OLTLOG|" + n + "|Update von ILS für Info-Einsatz"));
  // Handed over afterwards: updated, its hand-back flag stays as inserted.
  Post(Request("EinsatzWeiterleiten", "<einsatz xmlns=\"\"><id>ILS-2024-000124</id></einsatz>"));
  EXPECT_EQ(db.Rows("SELECT BACKTOILS, COUNT(*) FROM EINSAETZE GROUP BY BACKTOILS"),
            (Rows{{"0", "1"}}));
}

TEST_F(Intake, RequestsThatStoreNoIncident) {
  const std::string text = "Einsatzweiterleiten - Daten konnten nicht verarbeitet werden.";
  struct {
    std::string name, einsatz, want;
    std::string log;  // the failure line expected in the log, if any
  } cases[] = {
      {"no einsatz", "<Sender>ILS</Sender>", "Keine ID gefunden.", ""},
      {"einsatz without id", "<einsatz><EoOrt>X</EoOrt></einsatz>", "Keine ID gefunden.", ""},
      {"duplicate element",
       "<einsatz><id>DUP-1</id><EoOrt>A</EoOrt><EoOrt>B</EoOrt>"
       "<einsatzmittel><id>501</id></einsatzmittel></einsatz>",
       text, "FEHLER    | Fehler beim Speichernn der Einsatzdaten: "},
  };
  for (const auto& c : cases) {
    const auto before = Errors().size();
    EXPECT_EQ(Post(Request("EinsatzWeiterleiten", c.einsatz)),
              makesoapresponse(c.want, "olt:EinsatzWeiterleitenResponse"))
        << c.name;
    EXPECT_EQ(db.Value("SELECT COUNT(*) FROM EINSAETZE"), "0") << c.name;
    EXPECT_THAT(Telegrams(), ElementsAre()) << c.name;
    const auto errors = Errors();
    if (c.log.empty()) {
      EXPECT_EQ(errors.size(), before) << c.name;
    } else {
      ASSERT_EQ(errors.size(), before + 2) << c.name;
      EXPECT_THAT(errors[before], testing::StartsWith(c.log)) << c.name;
      EXPECT_EQ(errors[before + 1], "FEHLER    | Einsatzmittel-ID nicht im XML gefunden!")
          << c.name;
    }
  }
}

TEST_F(Intake, TwoEinsatzElementsMakeOneIncident) {
  Post(Request("EinsatzWeiterleiten",
               "<einsatz><id>ZWEI-1</id><EoOrt>Erst</EoOrt></einsatz>"
               "<einsatz><id>ZWEI-2</id><EoOrt>Dann</EoOrt><protokoll><id>1</id><Text>t</Text>"
               "</protokoll></einsatz>"));
  EXPECT_EQ(db.Rows("SELECT EXTERNAL_ID, ORT FROM EINSAETZE"), (Rows{{"ZWEI-2", "Dann"}}));
  EXPECT_EQ(db.Value("SELECT COUNT(*) FROM RUECKMELDUNGEN"), "1");
}

TEST_F(Intake, GermanDatesQuotesAndWildcardsInValuesAndIds) {
  Post(Request("EinsatzWeiterleiten",
               "<einsatz><id>O'Hara%1</id><ErzeugDatum>12.03.2024 14:05:00</ErzeugDatum>"
               "<Bemerkung>it's \\' a test</Bemerkung></einsatz>"));
  EXPECT_EQ(db.Rows("SELECT EXTERNAL_ID, BEGINN, BEMERKUNG FROM EINSAETZE"),
            (Rows{{"O'Hara%1", "2024-03-12 14:05:00", "it's \\' a test"}}));
  Post(Request(
      "EinsatzWeiterleiten",
      "<einsatz><id>O'Hara%1</id><ErzeugDatum>13.03.2024 08:00:00</ErzeugDatum></einsatz>"));
  EXPECT_EQ(db.Rows("SELECT COUNT(*), MAX(BEGINN) FROM EINSAETZE"),
            (Rows{{"1", "2024-03-13 08:00:00"}}))
      << "the update converts the German date and time as the insert does";
  EXPECT_THAT(Errors(), testing::IsEmpty());
}

TEST_F(Intake, ForwardingOutcomeIsRecorded) {
  struct {
    int code;
    std::string operation, entry, status, backtoils;
  } cases[] = {
      {0, "EinsatzWeiterleiten", "Versuch Weiterleitung an zuständige OLT fehlgeschlagen!",
       "Erfasst", "1"},
      {1, "EinsatzWeiterleiten",
       "Einsatz erfolgreich an zuständige OLT weitergeleitet, Einsatznr: F'1", "Geschlossen", "0"},
      {1, "EinsatzInfoWeiterleiten",
       "Einsatz erfolgreich an zuständige OLT weitergeleitet, Einsatznr: F'1", "Geschlossen", "0"},
      {-1, "EinsatzWeiterleiten", "", "Erfasst", "1"},
  };
  for (const auto& c : cases) {
    db.Exec("DELETE FROM EINSAETZE");
    db.Exec("DELETE FROM MASSNAHMEN");
    EXPECT_EQ(Handle(Request(c.operation, "<einsatz><id>F'1</id></einsatz>"), c.code), "")
        << c.code << " " << c.operation;
    const std::string n = Number("F''1");
    EXPECT_EQ(db.Rows("SELECT STATUS, BACKTOILS FROM EINSAETZE"), (Rows{{c.status, c.backtoils}}))
        << c.code << " " << c.operation;
    const Rows entries = db.Rows("SELECT EINSATZNUMMER, EINTRAG, ADD_USER FROM MASSNAHMEN");
    if (c.entry.empty())
      EXPECT_TRUE(entries.empty());
    else
      EXPECT_EQ(entries, (Rows{{n, c.entry, "OLT-Schn."}})) << c.code << " " << c.operation;
    Telegrams();
  }
}

TEST_F(Intake, UnmappedChildrenLeaveTheFixedColumnsOnly) {
  Post(Request("EinsatzWeiterleiten",
               "<einsatz><ID>U-1</ID><Id>U-1</Id><Unbekannt>x</Unbekannt><eoort>klein</eoort>"
               "</einsatz>"));
  EXPECT_THAT(LogEntries(home.Log()),
              Contains("Info      |  SQL: INSERT INTO EINSAETZE (EXTERNAL_ID,OLT_CREATED,BACKTOILS,"
                       "OLT_STATUS,STATUS<CR><LF>) VALUES ('U-1',0,1,'0','Erfasst') RETURNING "
                       "EINSATZNUMMER<CR><LF>"))
      << "the insert gate compares the name with its case; id is never a column";
  EXPECT_EQ(db.Rows("SELECT EXTERNAL_ID, ORT FROM EINSAETZE"), (Rows{{"U-1", "NULL"}}));
}

TEST_F(Intake, InfoRequestWithoutLookupSendsNoTelegram) {
  db.Exec("RENAME TABLE EINSAETZE TO EINSAETZE_WEG");
  EXPECT_EQ(Handle(Request("EinsatzInfoWeiterleiten", "<einsatz><id>I-1</id></einsatz>"), -1),
            "Einsatzinfoweiterleiten - Daten konnten nicht verarbeitet werden.");
  EXPECT_THAT(Telegrams(), ElementsAre()) << "no incident number is known";
  db.Exec("RENAME TABLE EINSAETZE_WEG TO EINSAETZE");
}
