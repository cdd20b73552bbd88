#include "soap/protocol/readsoap.hpp"

#include "forwarding/mdlweiterleitungintern.hpp"
#include "lib/textutil.hpp"
#include "service/servicecontext.hpp"
#include "soap/intake/handlers.hpp"
#include "soap/protocol/feldmap.hpp"
#include "xml/xmlnodes.hpp"

namespace {

constexpr const char* kNotRead = "Soap konnte nicht gelesen werden.";

// The operations of the ILS: the local name of the operation element in
// lower case, the response element, whether the request may go to a
// neighbouring centre first, and its handler.
struct TOperation {
  const char* name;
  const char* response;
  bool forwardable;
  void (*handler)(std::string& resulttext, pugi::xml_node element, int weiterleitung,
                  Sulvane::Firedac::TFDConnection& connection);
};

void verlegen(std::string& resulttext, pugi::xml_node element, int /*weiterleitung*/,
              Sulvane::Firedac::TFDConnection& connection) {
  Einsatzmittelverlegen(resulttext, element, connection);
}

constexpr TOperation kOperations[] = {
    {"einsatzweiterleiten", "olt:EinsatzWeiterleitenResponse", true, Einsatzweiterleiten},
    {"einsatzinfoweiterleiten", "olt:EinsatzInfoWeiterleitenResponse", true,
     Einsatzinfoweiterleiten},
    {"einsatzmittelverlegen", "olt:EinsatzmittelVerlegenResponse", false, verlegen},
};

const TOperation* findoperation(const std::string& name) {
  for (const TOperation& op : kOperations)
    if (name == op.name) return &op;
  return nullptr;
}

// A reply with a meaningful name even for a request that cannot be parsed:
// the last of the three words found in the text decides.
std::string PreselectResponse(const std::string& request) {
  std::string name;
  for (const TOperation& op : kOperations)
    if (FindText(request, op.name) != std::string::npos) name = op.response;
  return name;
}

// The first child of the Envelope's Body; none without an Envelope or Body.
pugi::xml_node OperationElement(const pugi::xml_document& document) {
  const pugi::xml_node root = document.document_element();
  if (LowerCase(localname(root)) != "envelope") return {};
  for (pugi::xml_node child : root.children()) {
    if (child.type() != pugi::node_element || LowerCase(localname(child)) != "body") continue;
    const pugi::xml_node operation =
        child.find_child([](pugi::xml_node n) { return n.type() == pugi::node_element; });
    if (!operation) throw std::runtime_error("Body enthält kein Element.");
    return operation;
  }
  return {};
}

}  // namespace

std::string mergehausnrkz(const std::string& request) {
  if (request.find("<EoHausNrKz>") == std::string::npos) return request;
  std::string text = ReplaceText(request, "</EoHausNr>", "");
  text = ReplaceText(text, "<EoHausNrKz>", "");
  return ReplaceText(text, "</EoHausNrKz>", "</EoHausNr>");
}

void loadsoapxml(pugi::xml_document& document, const std::string& request) {
  const pugi::xml_parse_result parsed =
      document.load_buffer(request.data(), request.size(),
                           pugi::parse_default & ~pugi::parse_escapes, pugi::encoding_utf8);
  if (!parsed)
    throw std::runtime_error(std::string(parsed.description()) + " (Position " +
                             std::to_string(parsed.offset) + ")");
}

void ReadSoap(const std::string& request, std::string& resulttext, std::string& responsename) {
  TServiceContext& service = oltsrv();
  service.addlogsync(" Verarbeite: " + request);
  resulttext = kNotRead;
  try {
    const std::string preselected = PreselectResponse(request);
    if (!preselected.empty()) responsename = preselected;
  } catch (...) {
  }
  try {
    const std::string text = mergehausnrkz(request);
    if (text.empty()) {
      service.addlogsync("Kein Inhalt gefunden.");
      return;
    }
    pugi::xml_document document;
    loadsoapxml(document, text);

    int weiterleitung = -1;
    std::unique_ptr<Sulvane::Firedac::TFDConnection> connection;
    try {
      connection = service.createconnection();
    } catch (const std::exception& e) {
      resulttext = std::string("Fehler bei Datenbankverbindung: ") + e.what();
      service.addlogsync(resulttext);
      return;
    }

    pugi::xml_node operation;
    try {
      operation = OperationElement(document);
    } catch (const std::exception& e) {
      service.addlogsync(std::string("Fehler bei Readsoap: ") + e.what());
    }

    const TOperation* op = findoperation(LowerCase(localname(operation)));
    if (op == nullptr) return;
    if (op->forwardable && service.slweiterleitung() != nullptr) {
      const std::string target = pruefeplz(text);
      if (!target.empty()) weiterleitung = weiterleiten(text, target);
    }
    responsename = op->response;
    op->handler(resulttext, operation, weiterleitung, *connection);
  } catch (const std::exception& e) {
    service.addlogsync(std::string("Fehler in ReadSoap: ") + e.what());
  }
}
