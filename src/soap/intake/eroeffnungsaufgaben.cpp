#include "soap/intake/eroeffnungsaufgaben.hpp"

#include <algorithm>
#include <string_view>

#include "geo/mdlgeoservice.hpp"
#include "lib/textutil.hpp"
#include "service/servicecontext.hpp"
#include "service/telegramme.hpp"

namespace {

using Sulvane::Firedac::QuotedLike;
using Sulvane::Firedac::QuotedStr;
using Sulvane::Firedac::TFDQuery;

}  // namespace

void eroeffnungsaufgaben(const std::string& einsatznummer,
                         Sulvane::Firedac::TFDConnection& connection) {
  try {
    TFDQuery query(connection);
    query.SQL = {"SELECT ID FROM STANDARD_AUFGABEN WHERE AUTOADD=2"};
    query.Open();
    for (; !query.Eof(); query.Next())
      Addaufgabe(query.Fields(0).AsString(), einsatznummer, connection);

    // Coordinates from the address, only where none are set yet: those
    // converted from the ILS's own pair take precedence.
    try {
      const std::string zuweisungen = getkoordinaten(einsatznummer, connection);
      if (!zuweisungen.empty() && IsPlainNumber(einsatznummer)) {
        query.SQL = {"UPDATE EINSAETZE SET " + zuweisungen +
                     " WHERE EINSATZNUMMER = " + einsatznummer + " AND KOORDX IS NULL"};
        query.ExecSQL();
        oltsrv().sendtelegramm(Telegramme::KarteEinsatz(einsatznummer));
      }
    } catch (const std::exception&) {
      // Without address coordinates the incident is still opened.
    }

    query.Close();
    oltsrv().sendtelegramm(Telegramme::AlarmAusloesen());
  } catch (const std::exception& e) {
    oltsrv().addlogsync(std::string(" Fehler bei Eröffnungsaufgaben: ") + e.what());
  }
}

void Addaufgabe(const std::string& aufgabenid, const std::string& einsatznummer,
                Sulvane::Firedac::TFDConnection& connection) {
  try {
    if (einsatznummer.empty()) {
      oltsrv().addlogsync("Aufgabe <" + aufgabenid + "> keine Einsatznummer übergeben.");
      return;
    }
    TFDQuery katalog(connection);
    katalog.SQL = {"SELECT ANSTEUERUNG_ID,AUTOADD FROM STANDARD_AUFGABEN WHERE  ID LIKE " +
                   QuotedLike(aufgabenid)};
    katalog.Open();
    // Tasks for the control target -5 are not alarmed.
    const std::string alarm = katalog.Fields(0).AsString() == "-5" ? "0" : "1";

    TFDQuery aufgabe(connection);
    aufgabe.SQL = {
        "INSERT INTO AUFGABEN "
        "(EINSATZNUMMER,ALARM,TEXT,ANST_ID,WERT,AUFGABEN_ID,ADD_TIME,ADD_USER,FREE) SELECT " +
        QuotedStr(einsatznummer) + " AS EINSATZNUMMER," + QuotedStr(alarm) +
        " AS ALARM,NAME,ANSTEUERUNG_ID,DATEN,ID,CURRENT_TIMESTAMP AS ADD_TIME," +
        QuotedStr("OLTsrv") +
        " AS ADD_USER, '1' AS FREE FROM STANDARD_AUFGABEN WHERE ID = " + QuotedStr(aufgabenid)};
    aufgabe.ExecSQL();
  } catch (const std::exception& e) {
    oltsrv().addlogsync(std::string("Fehler bei Addaufgabe: ") + e.what());
  }
}
