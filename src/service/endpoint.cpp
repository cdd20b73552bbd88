// The service module's side of the SOAP endpoint.
#include "lib/stringlist.hpp"
#include "service/mdlserver.hpp"
#include "service/telegramme.hpp"
#include "soap/protocol/envelope.hpp"
#include "soap/protocol/readsoap.hpp"

namespace {

// A request that names none of the operations still gets a reply of the
// usual form, so that the ILS reads Success false and the reason.
constexpr const char* kUnknownResponse = "olt:UnbekannteAnfrageResponse";

// Every line break becomes CR LF, and the last line ends with one as well.
std::string RequestText(const std::string& body) {
  std::string text;
  text.reserve(body.size() + body.size() / 32 + 2);
  for (const std::string& line : SplitLines(body)) {
    text += line;
    text += "\r\n";
  }
  return text;
}

}  // namespace

THttpReply Toltsrv::httpsCommandGet(const THttpRequest& request) {
  if (request.Body.empty()) {
    return {200, "text/html; charset=utf-8",
            std::string("<h1>OLT-Schnittstelle VUX4</h1>\r") +
                (DatabaseOpen() ? "<p>Verbindung ok.</p>" : "<p>Datenbankverbindung gestört.</p>")};
  }
  std::string resulttext, responsename;
  ReadSoap(RequestText(request.Body), resulttext, responsename);
  if (responsename.empty()) responsename = kUnknownResponse;
  return {200, "text/xml; charset=utf-8", makesoapresponse(resulttext, responsename)};
}

void Toltsrv::httpsAfterBind() {
  LogFileSys.Add(5, "Listen on Port " + std::to_string(https_.BoundPort()));
  // At start the link is mostly still connecting: the workstations then hear
  // of the active interface as soon as it is connected.
  if (tcpclient_.Active())
    sendtelegramm(Telegramme::OltAktiv());
  else
    oltaktiv_pending_ = true;
}

bool Toltsrv::httpsQuerySSLPort(unsigned short /*port*/) { return true; }
