// Every telegram the service sends to the VUX server, one builder each.
// Field 1 of OLTLOG and OLTERROR names the kind of message, field 2 the
// incident number ("-" for none), field 3 is the text for the operators.
#pragma once

#include <string>

namespace Telegramme {

// The answer to a poll: the single character ACK.
inline std::string PollAntwort() { return std::string(1, '\x06'); }

// The two answers to an announced database configuration.
inline std::string KonfigProgramm() { return "KONFIG|PROGRAMM|VUXCLIENTSTD"; }
inline std::string KonfigUser() { return "KONFIG|USER|VUXCLIENTSTD"; }

// The SOAP endpoint is listening.
inline std::string OltAktiv() { return "UPDATE|OLTAKTIV"; }

inline std::string EinsatzNeu(const std::string& einsatznummer) {
  return "EINSATZ|NEW|" + einsatznummer;
}
inline std::string EinsatzUpdate(const std::string& einsatznummer) {
  return "EINSATZ|UPDATE|" + einsatznummer;
}
// Coordinates of a new incident were stored.
inline std::string KarteEinsatz(const std::string& einsatznummer) {
  return "MAP|EINSATZ|" + einsatznummer;
}
// The opening tasks of a new incident are in place.
inline std::string AlarmAusloesen() { return "ALARM|AUSLOESEN"; }
inline std::string EinsatzmittelUpdate(const std::string& rufname) {
  return "UPDATE|EMITTEL|" + rufname;
}

inline std::string OltLog(const std::string& einsatznummer, const std::string& text) {
  return "UPDATE|OLTLOG|" + einsatznummer + "|" + text;
}
inline std::string InfoEinsatzNeu(const std::string& einsatznummer) {
  return OltLog(einsatznummer, "Neuer Einsatz wurde von ILS als Info weitergeleitet.");
}
inline std::string InfoEinsatzUpdate(const std::string& einsatznummer) {
  return OltLog(einsatznummer, "Update von ILS für Info-Einsatz");
}
inline std::string EinsatzmittelVerlegt(const std::string& rufname) {
  return OltLog("-", "Einsatzmittel <" + rufname + "> zu OLT verlegt.");
}

// A hand-over to the ILS failed.
inline std::string UebergabeFehlgeschlagen(const std::string& einsatznummer) {
  return "UPDATE|OLTERROR|" + einsatznummer + "|Der Einsatz <" + einsatznummer +
         "> konnte nicht erfolgreich an die ILS übermittelt werden!";
}

}  // namespace Telegramme
