#include "soap/intake/intake.hpp"

#include "soap/intake/saveeinsatz.hpp"
#include "soap/intake/saveeinsatzmittel.hpp"
#include "soap/intake/saveprotokoll.hpp"
#include "soap/protocol/feldmap.hpp"
#include "xml/xmlnodes.hpp"

using Sulvane::Firedac::execsql;
using Sulvane::Firedac::QuotedStr;
using Sulvane::Firedac::TFDConnection;

std::string incidentid(pugi::xml_node operation) {
  std::string ilsid;
  for (const pugi::xml_node einsatz : childrennamed(operation, "einsatz"))
    if (!childrennamed(einsatz, "id").empty()) ilsid = getid(einsatz);
  return ilsid;
}

std::string lookupincident(const std::string& ilsid, TFDConnection& connection) {
  Sulvane::Firedac::TFDQuery query(connection);
  query.SQL = {"SELECT EINSATZNUMMER FROM EINSAETZE WHERE EXTERNAL_ID = " + QuotedStr(ilsid)};
  query.Open();
  return query.Eof() ? std::string() : query.Fields(0).AsString();
}

std::string writeincident(const std::string& einsatznummer, const std::string& ilsid,
                          const std::string& backtoils, pugi::xml_node operation,
                          TFDConnection& connection) {
  std::string number = einsatznummer;
  pugi::xml_node incident;
  for (const pugi::xml_node einsatz : childrennamed(operation, "einsatz")) {
    number = saveeinsatz(number, ilsid, backtoils, einsatz, connection);
    incident = einsatz;
  }
  // The writers log their own failures; the next one goes on all the same.
  for (const pugi::xml_node child : childrennamed(incident, "protokoll"))
    saveprotokoll(number, child, connection);
  for (const pugi::xml_node child : childrennamed(incident, "patient"))
    savepatienten(number, child, connection);
  for (const pugi::xml_node child : childrennamed(incident, "einsatzmittel"))
    saveeinsatzmittel(number, child, connection);
  return number;
}

void recordforwarding(int weiterleitung, const std::string& einsatznummer, const std::string& ilsid,
                      bool stopreports, TFDConnection& connection) {
  if (weiterleitung == 0) {
    execsql(connection,
            "INSERT INTO MASSNAHMEN (EINSATZNUMMER,EINTRAG,ADD_USER) VALUES (" + einsatznummer +
                ",'Versuch Weiterleitung an zuständige OLT fehlgeschlagen!','OLT-Schn.')");
  } else if (weiterleitung == 1) {
    // The id comes from the request: quoted like every other text value.
    execsql(
        connection,
        "INSERT INTO MASSNAHMEN (EINSATZNUMMER,EINTRAG,ADD_USER) VALUES (" + einsatznummer + "," +
            QuotedStr("Einsatz erfolgreich an zuständige OLT weitergeleitet, Einsatznr: " + ilsid) +
            ",'OLT-Schn.')");
    execsql(connection, std::string("UPDATE EINSAETZE SET STATUS='Geschlossen'") +
                            (stopreports ? ", BACKTOILS=0" : "") +
                            " WHERE EINSATZNUMMER = " + einsatznummer);
  }
}
