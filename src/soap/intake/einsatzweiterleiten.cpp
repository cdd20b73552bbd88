// The ILS hands an incident over: the centre takes it on and reports its
// status back.
#include "service/servicecontext.hpp"
#include "service/telegramme.hpp"
#include "soap/intake/eroeffnungsaufgaben.hpp"
#include "soap/intake/handlers.hpp"
#include "soap/intake/intake.hpp"

void Einsatzweiterleiten(std::string& resulttext, pugi::xml_node element, int weiterleitung,
                         Sulvane::Firedac::TFDConnection& connection) {
  TServiceContext& service = oltsrv();
  resulttext = "Einsatzweiterleiten - Daten konnten nicht verarbeitet werden.";
  try {
    const std::string ilsid = incidentid(element);
    if (ilsid.empty()) {
      resulttext = "Keine ID gefunden.";
      return;
    }
    std::string einsatznummer = lookupincident(ilsid, connection);
    const bool neu = einsatznummer.empty();
    einsatznummer = writeincident(einsatznummer, ilsid, "1", element, connection);
    // Without a stored incident the ILS must not take the hand-over as done:
    // it keeps the failure text and may send the incident again.
    if (einsatznummer.empty()) return;
    resulttext.clear();
    recordforwarding(weiterleitung, einsatznummer, ilsid, true, connection);
    if (neu) {
      eroeffnungsaufgaben(einsatznummer, connection);
      service.sendtelegramm(Telegramme::EinsatzNeu(einsatznummer));
    } else {
      service.sendtelegramm(Telegramme::EinsatzUpdate(einsatznummer));
    }
  } catch (const std::exception& e) {
    service.addlogsync((service.Folder() / "").string() +
                       "Fehler bei Einsatzweiterleiten: " + e.what());
  }
}
