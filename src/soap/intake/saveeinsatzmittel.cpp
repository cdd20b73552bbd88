#include "soap/intake/saveeinsatzmittel.hpp"

#include <vector>

#include "service/servicecontext.hpp"
#include "service/telegramme.hpp"
#include "soap/intake/saveprotokoll.hpp"
#include "soap/protocol/feldmap.hpp"

using Sulvane::Firedac::QuotedLike;
using Sulvane::Firedac::QuotedStr;
using Sulvane::Firedac::TFDConnection;
using Sulvane::Firedac::TFDQuery;

namespace {

constexpr const char* kFailure = "Fehler beim Verarbeiten des Fahrzeugupdates. ";
constexpr const char* kStatusSelect =
    "SELECT STATUS1,STATUS2,STATUS3,STATUS4,STATUS5,STATUS6 FROM EM_EINSAETZE WHERE ";

void log(const std::string& text) { oltsrv().addlogsync(text); }

// The number of the highest status column of the current row that is not
// empty (NULL reads as empty); 0 when all six are.
int statuslevel(const TFDQuery& query) {
  int level = 0;
  for (int n = 1; n <= 6; ++n)
    if (!query.Fields(static_cast<std::size_t>(n - 1)).AsString().empty()) level = n;
  return level;
}

// The statement that the status level calls for, empty for none. The insert
// path finds the call sign with LIKE in some of them, the update path with
// "="; the LIKE pattern matches the call sign only.
std::string resourcestatement(int level, bool insertpath, const std::string& einsatznummer,
                              const std::string& rufname) {
  const std::string number = QuotedStr(einsatznummer);
  const std::string byname = (insertpath ? " WHERE RUFNAME LIKE " + QuotedLike(rufname)
                                         : " WHERE RUFNAME = " + QuotedStr(rufname));
  switch (level) {
    case 0:
      return "UPDATE EINSATZMITTEL SET EINSATZ=" + number + ",EINSATZNUMMER=" + number +
             " WHERE RUFNAME = " + QuotedStr(rufname);
    case 1:
    case 2:
      return "UPDATE EINSATZMITTEL SET EINSATZ=" + number + ",EINSATZNUMMER=" + number +
             ",STATUS=" + QuotedStr(std::to_string(level + 2)) + ",ZEITSTEMPEL=CURRENT_TIMESTAMP" +
             byname;
    case 5:
      return "UPDATE EINSATZMITTEL SET EINSATZNUMMER=" + number +
             " WHERE RUFNAME = " + QuotedStr(rufname);
    case 6:
      return "UPDATE EM_EINSAETZE SET AKTIV=0" + byname;
    default:
      return {};
  }
}

}  // namespace

std::string saveeinsatzmittel(const std::string& einsatznummer, pugi::xml_node element,
                              TFDConnection& connection) {
  std::string result;
  const std::string id = getid(element);
  if (id.empty() || einsatznummer.empty()) {
    log("Einsatzmittel-ID nicht im XML gefunden!");
    return result;
  }
  try {
    TFDQuery query(connection);
    query.SQL = {"SELECT RUFNAME FROM EINSATZMITTEL WHERE EXTERNAL_ID = " + QuotedStr(id)};
    query.Open();
    if (query.Eof()) {
      log("Einsatzmittel-ID (" + id + ") nicht im System gefunden!");
      return result;
    }
    const std::string rufname = query.Fields(0).AsString();

    query.SQL = {"SELECT ID FROM EM_EINSAETZE WHERE RUFNAME = " + QuotedStr(rufname) +
                 " AND EINSATZNUMMER = " + einsatznummer};
    query.Open();
    const bool insertpath = query.Eof();
    const std::vector<TMappedField> fields = mapchildren(element, "emfelder.dat");

    if (insertpath) {
      query.SQL = {"INSERT INTO EM_EINSAETZE (RUFNAME,EINSATZNUMMER,AKTIV"};
      std::string values = ") VALUES (" + QuotedStr(rufname) + "," + einsatznummer + ",1";
      for (const TMappedField& field : fields) {
        query.SQL.push_back("," + field.column);
        values += "," + field.literal;
      }
      query.SQL.push_back(values + ")");
      query.ExecSQL();
      query.SQL = {kStatusSelect + ("RUFNAME LIKE " + QuotedLike(rufname)) +
                   " AND EINSATZNUMMER LIKE " + QuotedLike(einsatznummer)};
    } else {
      // German dates are converted here as on insert: a date column takes
      // only yyyy-mm-dd hh:nn:ss.
      query.SQL = {"UPDATE EM_EINSAETZE SET EINSATZNUMMER=" + QuotedStr(einsatznummer)};
      for (const TMappedField& field : fields)
        query.SQL.push_back("," + field.column + "=" + field.literal);
      query.SQL.push_back(" WHERE RUFNAME LIKE " + QuotedLike(rufname) +
                          " AND EINSATZNUMMER LIKE " + einsatznummer);
      query.ExecSQL();
      result = einsatznummer;
      query.SQL = {kStatusSelect + ("RUFNAME = " + QuotedStr(rufname)) +
                   " AND EINSATZNUMMER = " + QuotedStr(einsatznummer)};
    }
    query.Open();
    const int level = statuslevel(query);

    const std::string statement = resourcestatement(level, insertpath, einsatznummer, rufname);
    if (!statement.empty()) {
      query.SQL = {statement};
      query.ExecSQL();
    }
    if (level <= 2) oltsrv().sendtelegramm(Telegramme::EinsatzmittelUpdate(rufname));
  } catch (const std::exception& e) {
    result.clear();
    log(kFailure + std::string(e.what()));
  } catch (...) {
    result.clear();
    log(kFailure);
  }
  return result;
}
