// What the service does with each telegram from the VUX server.
#include "lib/base64.hpp"
#include "lib/datenverarbeitung.hpp"
#include "lib/vuxdatenbank.hpp"
#include "service/mdlserver.hpp"
#include "soap/einsatzanils.hpp"
#include "soap/oltnr.hpp"
#include "soap/statussweep.hpp"

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
void Guarded(Action&& action) {
  try {
    action();
  } catch (...) {
  }
}

}  // namespace

void Toltsrv::dispatchtelegramm(const std::string& T) {
  const std::vector<std::string> L = splitstring(T, '|');

  if (T.starts_with("KONFIG|DB|")) {
    sendtelegramm("KONFIG|PROGRAMM|VUXCLIENTSTD");
    sendtelegramm("KONFIG|USER|VUXCLIENTSTD");
    auto lock = LockDatabase();
    // Only a main connection that is down takes the announced settings.
    if (!database.Connected()) {
      const auto decoded = Sulvane::Base64::Decode(Field(L, 2, T));
      TVUXDatabaseConnectionInfo info;
      info.ParseKonfigXML(Sulvane::Base64::BytesAsAscii(decoded.value_or(std::string())));
      // A database "on the VUX server's own machine" is where the link goes.
      const std::string server = info.ServerName == "127.0.0.1" || info.ServerName == "localhost"
                                     ? tcpclient.Host()
                                     : info.ServerName;
      database.SetParams({"DriverID=MySQL", "Protocol=TCPIP", "CharacterSet=utf8", "UseTLS=1",
                          "Database=" + info.DatabaseName, "Server=" + server,
                          "User_Name=" + info.Username, "Password=" + info.Password});
      database.Open();
    }
  }

  if (Field(L, 0, T) != "EINSATZ") return;
  const std::string& action = Field(L, 1, T);
  if (action == "UPDATE") {
    Guarded([&] { checkeinsaetze(Field(L, 2, T)); });
  } else if (action == "NEW") {
    Guarded([&] {
      setoltnr(Field(L, 2, T));
      sendtelegramm("EINSATZ|UPDATE|" + Field(L, 2, T));
    });
  } else if (action == "OLT_WL") {
    Guarded([&] {
      const bool result = einsatzanils(Field(L, 2, T));
      weiterleitungsergebnis(Field(L, 2, T), result);
    });
  }
}
