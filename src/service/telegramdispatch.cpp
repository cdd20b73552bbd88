// What the service does with each telegram from the VUX server.
#include "lib/base64.hpp"
#include "lib/datenverarbeitung.hpp"
#include "lib/vuxdatenbank.hpp"
#include "service/mdlserver.hpp"
#include "service/telegramme.hpp"
#include "soap/intake/oltnr.hpp"
#include "soap/reporting/einsatzanils.hpp"
#include "soap/reporting/statussweep.hpp"

using Sulvane::Datenverarbeitung::splitstring;
using Sulvane::VUXDatenbank::TVUXDatabaseConnectionInfo;

namespace {

const std::string& Field(const std::vector<std::string>& fields, std::size_t index,
                         const std::string& telegram) {
  if (index >= fields.size())
    throw std::runtime_error("Telegramm \"" + telegram + "\" hat kein Feld " +
                             std::to_string(index));
  return fields[index];
}

// The incident actions swallow their errors: the called units log their own
// failures, and the next telegram is handled all the same.
template <class Action>
std::function<void()> Guarded(Action action) {
  return [action = std::move(action)] {
    try {
      action();
    } catch (...) {
    }
  };
}

}  // namespace

void Toltsrv::dispatchtelegramm(const std::string& T) {
  const std::vector<std::string> L = splitstring(T, '|');

  if (T.starts_with("KONFIG|DB|")) {
    sendtelegramm(Telegramme::KonfigProgramm());
    sendtelegramm(Telegramme::KonfigUser());
    // Only a main connection that is down takes the announced settings.
    if (!database_.Connected()) {
      const auto decoded = Sulvane::Base64::Decode(Field(L, 2, T));
      TVUXDatabaseConnectionInfo info;
      info.ParseKonfigXML(Sulvane::Base64::BytesAsAscii(decoded.value_or(std::string())));
      // A database "on the VUX server's own machine" is where the link goes.
      const std::string server = info.ServerName == "127.0.0.1" || info.ServerName == "localhost"
                                     ? tcpclient_.Host()
                                     : info.ServerName;
      database_.SetParams({"DriverID=MySQL", "Protocol=TCPIP", "CharacterSet=utf8", "UseTLS=1",
                           "Database=" + info.DatabaseName, "Server=" + server,
                           "User_Name=" + info.Username, "Password=" + info.Password});
      database_.Open();
    }
  }

  if (Field(L, 0, T) != "EINSATZ") return;
  // The actions wait for the database and the ILS: they run on the reporting
  // thread, in the order of the telegrams, while the link goes on.
  const std::string& action = Field(L, 1, T);
  if (action == "UPDATE") {
    PostReport(Guarded([L, T] { checkeinsaetze(Field(L, 2, T)); }));
  } else if (action == "NEW") {
    PostReport(Guarded([this, L, T] {
      setoltnr(Field(L, 2, T));
      sendtelegramm(Telegramme::EinsatzUpdate(Field(L, 2, T)));
    }));
  } else if (action == "OLT_WL") {
    PostReport(Guarded([L, T] {
      const bool result = einsatzanils(Field(L, 2, T));
      weiterleitungsergebnis(Field(L, 2, T), result);
    }));
  }
}
