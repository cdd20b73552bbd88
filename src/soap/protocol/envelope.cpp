#include "soap/protocol/envelope.hpp"

#include "lib/xmlescape.hpp"
#include "service/servicecontext.hpp"

std::string oltnamespace() {
  return oltsrv().ini().ReadString("Server", "Namespace", "http://tempuri.org/OltServiceOlt");
}

std::string ilsnamespace() {
  return oltsrv().ini().ReadString("ILS", "Namespace", "http://tempuri.org/OltServiceE3");
}

std::string makesoapenvelope(const std::string& body) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
         "<soap:Envelope"
         " xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\""
         " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\""
         " xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\""
         " xmlns:olt=\"" +
         oltnamespace() + "\"><soap:Body>" + body + "</soap:Body></soap:Envelope>";
}

std::string makesoapresponse(const std::string& resulttext, const std::string& responsename) {
  const std::string success = resulttext.empty() ? "true" : "false";
  return makesoapenvelope("<" + responsename + "><Success xmlns=\"\">" + success +
                          "</Success><ErrorMessage xmlns=\"\">" + xmlescape(resulttext) +
                          "</ErrorMessage></" + responsename + ">");
}
