// Forwarding of incoming ILS requests to a neighbouring centre by postal code.
#pragma once

#include <string>

// The neighbouring centre responsible for the request's postal code; empty: none.
std::string pruefeplz(const std::string& request);
// Posts the request to the target: 1 accepted, 0 failed.
int weiterleiten(const std::string& request, const std::string& target);
