// EinsatzmittelVerlegen: the ILS hands one of its resources over to the
// centre. The resource leaves status 6 for status 2, becomes dispatchable
// (DISPOSITION 1), gets a history entry, and the workstations are told.
#include <algorithm>
#include <string_view>

#include "lib/textutil.hpp"
#include "service/servicecontext.hpp"
#include "service/telegramme.hpp"
#include "soap/intake/handlers.hpp"
#include "soap/protocol/feldmap.hpp"

namespace {

using Sulvane::Firedac::QuotedStr;
using Sulvane::Firedac::TFDQuery;

}  // namespace

void Einsatzmittelverlegen(std::string& resulttext, pugi::xml_node element,
                           Sulvane::Firedac::TFDConnection& connection) {
  resulttext = "Einsatzmittelverlegen - Daten konnten nicht verarbeitet werden.";
  try {
    const std::string id = getid(element);
    if (id.empty()) {
      resulttext = "Keine ID gefunden.";
      return;
    }
    // Anything else would be read as SQL: no statement runs for it.
    if (!IsPlainNumber(id)) return;

    TFDQuery query(connection);
    // Only a resource in status 6 becomes free; any other status stays.
    query.SQL = {
        "UPDATE EINSATZMITTEL SET STATUS='2',ZEITSTEMPEL=CURRENT_TIMESTAMP WHERE "
        "EXTERNAL_ID = " +
        id + " AND STATUS LIKE '6'"};
    query.ExecSQL();
    try {
      query.SQL = {"UPDATE EINSATZMITTEL SET DISPOSITION=1 WHERE EXTERNAL_ID = " + id};
      query.ExecSQL();
    } catch (const std::exception&) {
      // The dispatch flag alone does not decide the relocation.
    }
    query.SQL = {"SELECT RUFNAME FROM EINSATZMITTEL WHERE EXTERNAL_ID = " + id};
    query.Open();
    const std::string rufname = query.Fields(0).AsString();
    query.Close();
    if (rufname.empty()) {
      resulttext = "Kein Einsatzmittel mit dieser ID gefunden!";
      return;
    }
    query.SQL = {"INSERT INTO HISTORY (RUFNAME,MELDUNG,MELDUNG_KURZ,KANAL) VALUES (" +
                 QuotedStr(rufname) + ",'2 - (Freig.)','2','ILS')"};
    query.ExecSQL();
    oltsrv().sendtelegramm(Telegramme::EinsatzmittelUpdate(rufname));
    oltsrv().sendtelegramm(Telegramme::EinsatzmittelVerlegt(rufname));
    resulttext.clear();
  } catch (const std::exception&) {
    // The ILS gets the result text as it stands; nothing is logged.
  }
}
