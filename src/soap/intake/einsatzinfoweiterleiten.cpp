// The ILS passes an incident on for information: the centre keeps a copy,
// the ILS stays responsible and gets no status reports.
#include "service/servicecontext.hpp"
#include "service/telegramme.hpp"
#include "soap/intake/eroeffnungsaufgaben.hpp"
#include "soap/intake/handlers.hpp"
#include "soap/intake/intake.hpp"

void Einsatzinfoweiterleiten(std::string& resulttext, pugi::xml_node element, int weiterleitung,
                             Sulvane::Firedac::TFDConnection& connection) {
  TServiceContext& service = oltsrv();
  resulttext = "Einsatzinfoweiterleiten - Daten konnten nicht verarbeitet werden.";
  const std::string ilsid = incidentid(element);
  if (ilsid.empty()) {
    resulttext = "Keine ID gefunden.";
    return;
  }
  std::string einsatznummer;
  bool neu = false;
  try {
    einsatznummer = lookupincident(ilsid, connection);
    neu = einsatznummer.empty();
    einsatznummer = writeincident(einsatznummer, ilsid, "0", element, connection);
    if (!einsatznummer.empty()) {
      resulttext.clear();
      recordforwarding(weiterleitung, einsatznummer, ilsid, false, connection);
    }
  } catch (...) {
    // Not logged: the workstations still hear of the incident below.
  }
  // Without a number (lookup or incident record failed) there is nothing to announce.
  if (einsatznummer.empty()) return;
  if (neu) {
    eroeffnungsaufgaben(einsatznummer, connection);
    service.sendtelegramm(Telegramme::EinsatzNeu(einsatznummer));
    service.sendtelegramm(Telegramme::InfoEinsatzNeu(einsatznummer));
  } else {
    service.sendtelegramm(Telegramme::EinsatzUpdate(einsatznummer));
    service.sendtelegramm(Telegramme::InfoEinsatzUpdate(einsatznummer));
  }
}
