#include "soap/intake/saveeinsatz.hpp"

#include "geo/mdlgeoservice.hpp"
#include "lib/textutil.hpp"
#include "service/servicecontext.hpp"
#include "soap/protocol/feldmap.hpp"
#include "xml/xmlnodes.hpp"

using Sulvane::Firedac::QuotedStr;
using Sulvane::Firedac::TFDConnection;
using Sulvane::Firedac::TFDQuery;

namespace {

constexpr const char* kMapFile = "oltfelder.dat";

std::vector<pugi::xml_node> ChildElements(pugi::xml_node element) {
  std::vector<pugi::xml_node> children;
  for (const pugi::xml_node child : element.children())
    if (child.type() == pugi::node_element) children.push_back(child);
  return children;
}

// A new incident: the fixed columns, the mapped ones, the number back from
// the database; the coordinates received go to the coordinate determination.
std::string InsertIncident(TFDQuery& query, const std::string& ilsid, const std::string& backtoils,
                           pugi::xml_node element, TFDConnection& connection) {
  TServiceContext& service = oltsrv();
  const auto map = service.codesl().Get();
  service.addlogsync(" Neuer Datensatz");
  query.SQL = {"INSERT INTO EINSAETZE (EXTERNAL_ID,OLT_CREATED,BACKTOILS,OLT_STATUS,STATUS"};
  std::string values = ") VALUES (" + QuotedStr(ilsid) + ",0," + backtoils + "," + QuotedStr("0") +
                       "," + QuotedStr("Erfasst");
  std::string x, y;
  for (const pugi::xml_node child : ChildElements(element)) {
    const std::string name = localname(child);
    if (!linescontain(*map, "=" + name)) continue;
    const std::string lower = LowerCase(name);
    if (lower == "id") continue;
    if (lower == "eoxkoord" || lower == "eoykoord") {
      (lower == "eoxkoord" ? x : y) = nodetext(child);
      continue;
    }
    query.SQL.push_back("," + getfieldname(name, kMapFile));
    values += "," + convertdatetime(xmltosqlvalue(nodetext(child)));
  }
  query.SQL.push_back(values + ") RETURNING EINSATZNUMMER");
  service.addlogsync(" SQL: " + query.Text());
  query.Open();
  const std::string einsatznummer = query.Fields(0).AsString();
  service.addlogsync(" Einsatz angelegt: " + einsatznummer);
  koordinatenermittlung(einsatznummer, x, y, connection);
  return einsatznummer;
}

// A known incident: the mapped columns; coordinates sent again are not used.
// Values pass through convertdatetime as in the insert, so that a German
// date and time reaches a date column in its SQL form.
void UpdateIncident(TFDQuery& query, const std::string& einsatznummer, const std::string& ilsid,
                    pugi::xml_node element) {
  TServiceContext& service = oltsrv();
  const auto map = service.codesl().Get();
  query.SQL = {"UPDATE EINSAETZE SET EXTERNAL_ID=" + QuotedStr(ilsid)};
  for (const pugi::xml_node child : ChildElements(element)) {
    const std::string name = localname(child);
    if (!linescontain(*map, name)) continue;
    const std::string lower = LowerCase(name);
    if (lower == "id" || lower == "eoykoord" || lower == "eoxkoord") continue;
    query.SQL.push_back("," + getfieldname(lower, kMapFile) + "=" +
                        convertdatetime(xmltosqlvalue(nodetext(child))));
  }
  query.SQL.push_back(" WHERE EINSATZNUMMER = " + einsatznummer);
  service.addlogsync(" SQL: " + query.Text());
  query.ExecSQL();
}

}  // namespace

std::string saveeinsatz(const std::string& einsatznummer, const std::string& ilsid,
                        const std::string& backtoils, pugi::xml_node element,
                        TFDConnection& connection) {
  std::string result;
  try {
    TFDQuery query(connection);
    if (einsatznummer.empty()) {
      result = InsertIncident(query, ilsid, backtoils, element, connection);
    } else {
      UpdateIncident(query, einsatznummer, ilsid, element);
      result = einsatznummer;
    }
  } catch (const std::exception& e) {
    oltsrv().addlogsync(std::string("Fehler beim Speichernn der Einsatzdaten: ") + e.what());
  }
  return result;
}
