#include "lib/vuxdatenbank.hpp"

#include "lib/xmlescape.hpp"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <optional>
#include <pugixml.hpp>
#include <string_view>

#include "lib/base64.hpp"
#include "lib/xmlhelper.hpp"

namespace Sulvane::VUXDatenbank {

namespace {

constexpr std::string_view kDeclaration =
    R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)";

// Escaped text; a CR as a character reference, since the parser would turn
// a bare one into LF.
std::string EscapeXML(std::string_view value) {
  std::string out;
  for (const char c : xmlescape(value)) {
    if (c == '\r')
      out += "&#13;";
    else
      out += c;
  }
  return out;
}

void AppendElement(std::string& xml, std::string_view name, std::string_view value) {
  xml.append("<").append(name).append(">");
  xml.append(EscapeXML(value));
  xml.append("</").append(name).append(">");
}

std::string MachineName() {
  if (const char* name = std::getenv("COMPUTERNAME"); name && *name) return name;
  char buffer[HOST_NAME_MAX + 1] = {};
  if (::gethostname(buffer, sizeof buffer - 1) != 0) return {};
  return buffer;
}

std::string LowerCase(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

}  // namespace

void TVUXDatabaseConnectionInfo::Reset() { *this = TVUXDatabaseConnectionInfo(); }

std::string TVUXDatabaseConnectionInfo::ToKonfigXML(bool EncodeBase64) const {
  std::string xml(kDeclaration);
  xml += "<VUXdatenbank><Konfig>";
  xml += IsLokal() ? R"(<ServerName lokal="1">)" : R"(<ServerName lokal="0">)";
  xml += EscapeXML(ServerName);
  xml += "</ServerName>";
  AppendElement(xml, "ServerPort", std::to_string(ServerPort));
  AppendElement(xml, "DatabaseName", DatabaseName);
  AppendElement(xml, "Username", Username);
  AppendElement(xml, "Password", Password);
  AppendElement(xml, "SSL", SSLConnection ? "1" : "0");
  xml += "</Konfig></VUXdatenbank>";
  if (!EncodeBase64) return xml;
  return Base64::Encode(Base64::BytesAsAscii(xml));
}

void TVUXDatabaseConnectionInfo::ParseKonfigXML(const std::string& XMLKonfig) {
  constexpr std::string_view kStart = "<?xml";
  std::string text = XMLKonfig;
  if (!text.starts_with(kStart))
    text = Base64::BytesAsAscii(Base64::Decode(text).value_or(std::string()));
  if (!text.starts_with(kStart)) throw EXMLDatenfehler("XML-Datenfehler: " + text);

  Reset();
  pugi::xml_document doc;
  // Default options, and a child whose only text is white space keeps it.
  const pugi::xml_parse_result result =
      doc.load_buffer(text.data(), text.size(), pugi::parse_default | pugi::parse_ws_pcdata_single);
  if (!result)
    throw EXMLDatenfehler("XML-Datenfehler: " + std::string(result.description()) + " (Position " +
                          std::to_string(result.offset) + ")");
  const pugi::xml_node root = XMLhelper::GetNodeByPath(doc, "VUXdatenbank", false);
  if (!root) throw EXMLDatenfehler(R"(XML-Datenfehler: "\VUXdatenbank\" nicht gefunden)");
  const pugi::xml_node konfig = XMLhelper::GetNodeByPath(root, "Konfig", false);
  if (!konfig) throw EXMLDatenfehler(R"(XML-Datenfehler: "VUXdatenbank\Konfig" nicht gefunden)");

  ServerName = XMLhelper::GetNodeText(konfig, "ServerName", "");
  ServerPort = XMLhelper::GetNodeInt(konfig, "ServerPort", -1);
  DatabaseName = XMLhelper::GetNodeText(konfig, "DatabaseName", "");
  Username = XMLhelper::GetNodeText(konfig, "Username", "");
  Password = XMLhelper::GetNodeText(konfig, "Password", "");
  SSLConnection = XMLhelper::GetNodeBool(konfig, "SSL", false);
}

bool TVUXDatabaseConnectionInfo::IsLokal() const {
  if (ServerName == "localhost" || ServerName == "127.0.0.1") return true;
  const std::string machine = MachineName();
  return !machine.empty() && ServerName == LowerCase(machine);
}

}  // namespace Sulvane::VUXDatenbank
