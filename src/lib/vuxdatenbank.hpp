// The database connection info document that the telegram server (VUX server) sends: where
// its database is and how to log in to it.
//
// The document, in one line without white space between the parts:
//   <?xml version="1.0" encoding="UTF-8" standalone="yes"?><VUXdatenbank><Konfig>
//   <ServerName lokal="1">127.0.0.1</ServerName><ServerPort>3306</ServerPort>
//   <DatabaseName>VUXdb</DatabaseName><Username>root</Username><Password>MOR</Password>
//   <SSL>1</SSL></Konfig></VUXdatenbank>
// It travels either as it is or in Base64 of its characters taken as ASCII.
#pragma once

#include <stdexcept>
#include <string>

namespace Sulvane::VUXDatenbank {

// The document is not one or lacks an element that must be there.
class EXMLDatenfehler : public std::runtime_error {
 public:
  using runtime_error::runtime_error;
};

struct TVUXDatabaseConnectionInfo {
  std::string ServerName = "127.0.0.1";
  std::string DatabaseName = "VUXdb";
  std::string Username = "root";
  std::string Password = "MOR";
  // Not carried by the document; ParseKonfigXML leaves them empty.
  std::string DBVersionMin;
  std::string SSLCertificate;
  std::string SSLKey;
  std::string CACertificate;
  int ServerPort = 3306;
  bool SSLConnection = true;

  // Every field back to the values above.
  void Reset();

  // The document of this record. The values are written with their XML characters escaped
  // (& < > " ' and carriage return as character references), so any value reads back as it
  // was. The attribute lokal of ServerName is "1" when IsLokal(), else "0".
  // With EncodeBase64 the Base64 of the document's bytes taken as ASCII: every byte of a
  // character outside ASCII travels as "?" (one "?" per UTF-8 byte, so "ö" becomes "??").
  std::string ToKonfigXML(bool EncodeBase64) const;

  // Reads the document, as it is (it begins with "<?xml") or in Base64 (its bytes taken as
  // ASCII, so a byte above 127 becomes "?"). Throws EXMLDatenfehler:
  //   - "XML-Datenfehler: " + the decoded text when neither is a document (invalid Base64
  //     decodes to the empty text); the record stays as it was;
  //   - "XML-Datenfehler: " + the parser's message and position for malformed XML,
  //   - "XML-Datenfehler: \"\\VUXdatenbank\\\" nicht gefunden" without that root element,
  //   - "XML-Datenfehler: \"VUXdatenbank\\Konfig\" nicht gefunden" without its Konfig;
  //     in these three cases the record has been Reset.
  // The values are the texts of Konfig's children ServerName, DatabaseName, Username and
  // Password ("" when missing or empty), ServerPort (-1 when missing or no integer) and SSL
  // (a number or True/False; false when missing or neither). The attribute lokal is not
  // read, other elements are ignored, names are case-sensitive, the order is free. A
  // child whose only text is white space keeps it (a password " " reads back as " ").
  void ParseKonfigXML(const std::string& XMLKonfig);

  // Whether ServerName names this machine: exactly "localhost", "127.0.0.1" or the machine
  // name in lower case (environment variable COMPUTERNAME when set and not empty, else the
  // host name). Letter case counts: "LOCALHOST" is not local.
  bool IsLokal() const;
};

}  // namespace Sulvane::VUXDatenbank
