#include "soap/intake/saveprotokoll.hpp"

#include <stdexcept>

#include "lib/stringlist.hpp"
#include "lib/textutil.hpp"
#include "service/servicecontext.hpp"
#include "soap/protocol/feldmap.hpp"
#include "xml/xmlnodes.hpp"

using Sulvane::Firedac::QuotedLike;
using Sulvane::Firedac::QuotedStr;
using Sulvane::Firedac::TFDConnection;
using Sulvane::Firedac::TFDQuery;

namespace {

// The statements of one kind of entry, for one id and incident number.
struct TEntryStatements {
  std::string lookup;       // a row: the entry is stored
  std::string insertfirst;  // the column list's beginning
  std::string valuesstart;  // the value list's beginning
  std::string updatefirst;
  std::string updatelast;
};

struct TEntryKind {
  const char* mapfile;
  const char* failure;
  TEntryStatements (*statements)(const std::string& id, const std::string& einsatznummer);
};

// A feedback entry is looked up among all incidents but updated only within
// this one: an id stored for another incident is therefore not written here.
TEntryStatements protokollstatements(const std::string& id, const std::string& einsatznummer) {
  return {
      "SELECT ID FROM RUECKMELDUNGEN WHERE ELDIS_ID LIKE " + QuotedLike(id),
      "INSERT INTO RUECKMELDUNGEN (ELDIS_ID,EINSATZNUMMER,MELDENDER",
      ") VALUES (" + QuotedStr(id) + "," + einsatznummer + "," + QuotedStr(""),
      "UPDATE RUECKMELDUNGEN  SET ELDIS_ID=" + QuotedStr(id),
      " WHERE ELDIS_ID LIKE" + QuotedLike(id) + " AND EINSATZNUMMER LIKE " + einsatznummer,
  };
}

// A patient is looked up within the incident but updated wherever its id is
// stored: a patient id of another incident gets a row of its own here, and a
// later update changes the rows of both.
TEntryStatements patientenstatements(const std::string& id, const std::string& einsatznummer) {
  return {
      "SELECT ID FROM PATIENTEN WHERE ELDIS_ID = " + QuotedStr(id) +
          " AND EINSATZNUMMER = " + einsatznummer,
      "INSERT INTO PATIENTEN (ELDIS_ID,EINSATZNUMMER",
      ") VALUES (" + QuotedStr(id) + "," + einsatznummer,
      "UPDATE PATIENTEN SET ELDIS_ID=" + QuotedStr(id),
      " WHERE ELDIS_ID LIKE" + QuotedLike(id),
  };
}

constexpr TEntryKind kProtokoll{"protokollfelder.dat", "Fehler beim Verarbeiten des Protokolls. ",
                                protokollstatements};
constexpr TEntryKind kPatient{"patfelder.dat", "Fehler beim Verarbeiten der Patientendaten. ",
                              patientenstatements};

// Inserts the entry, or updates it when the lookup finds it. Without an id or
// incident number nothing is written and nothing logged.
std::string saveentry(const TEntryKind& kind, const std::string& einsatznummer,
                      pugi::xml_node element, TFDConnection& connection) {
  std::string result;
  const std::string id = getid(element);
  if (id.empty() || einsatznummer.empty()) return result;
  try {
    const TEntryStatements statements = kind.statements(id, einsatznummer);
    TFDQuery query(connection);
    query.SQL = {statements.lookup};
    query.Open();
    const bool insert = query.Eof();
    const std::vector<TMappedField> fields = mapchildren(element, kind.mapfile);
    if (insert) {
      query.SQL = {statements.insertfirst};
      std::string values = statements.valuesstart;
      for (const TMappedField& field : fields) {
        query.SQL.push_back("," + field.column);
        values += "," + field.literal;
      }
      query.SQL.push_back(values + ")");
    } else {
      query.SQL = {statements.updatefirst};
      for (const TMappedField& field : fields)
        query.SQL.push_back("," + field.column + "=" + field.literal);
      query.SQL.push_back(statements.updatelast);
    }
    query.ExecSQL();
    if (!insert) result = einsatznummer;
  } catch (const std::exception& e) {
    result.clear();
    oltsrv().addlogsync(kind.failure + std::string(e.what()));
  } catch (...) {
    result.clear();
    oltsrv().addlogsync(kind.failure);
  }
  return result;
}

}  // namespace

std::vector<TMappedField> mapchildren(pugi::xml_node element, const std::string& mapfile) {
  TServiceContext& srv = oltsrv();
  std::vector<TMappedField> fields;
  for (const pugi::xml_node child : element.children()) {
    if (child.type() != pugi::node_element) continue;
    const std::string name = localname(child);
    const std::vector<std::string> map = LoadStringsFromFile(srv.Folder() / mapfile);
    if (!linescontain(map, name) || LowerCase(name) == "id") continue;
    fields.push_back(
        {getfieldname(LowerCase(name), mapfile), convertdatetime(xmltosqlvalue(nodetext(child)))});
  }
  srv.codesl().Set(LoadStringsFromFile(srv.Folder() / "oltfelder.dat"));
  return fields;
}

std::string saveprotokoll(const std::string& einsatznummer, pugi::xml_node element,
                          TFDConnection& connection) {
  return saveentry(kProtokoll, einsatznummer, element, connection);
}

std::string savepatienten(const std::string& einsatznummer, pugi::xml_node element,
                          TFDConnection& connection) {
  return saveentry(kPatient, einsatznummer, element, connection);
}
