// Status reporting to the ILS for the incidents it handed over.
#pragma once

#include <string>

// Reports every due incident's status to the ILS; with a number, only that
// incident's. Runs after every connect of the main database connection and on
// incident updates from the telegram server.
void checkeinsaetze(const std::string& einsatznummer);
