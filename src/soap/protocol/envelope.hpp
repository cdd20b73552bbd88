// The SOAP 1.1 envelope of every message the service writes, replies to the
// ILS and requests to it alike.
#pragma once

#include <string>

// The service's own namespace ([Server] Namespace) and the ILS's ([ILS] Namespace).
std::string oltnamespace();
std::string ilsnamespace();

// Wraps a body, unchanged and unchecked, in the envelope: one line.
std::string makesoapenvelope(const std::string& body);
// The reply to an ILS request: Success true when the result text is empty,
// the result text as ErrorMessage.
std::string makesoapresponse(const std::string& resulttext, const std::string& responsename);
