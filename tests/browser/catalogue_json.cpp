// Prints the signal catalogue as JSON lines (one entry per line, the values
// first), for the dashboard's mock server, which decodes the demo's records
// with it. Usage: catalogue_json
#include <iostream>

#include "tools/smdhost/catalogue/signals_command.hpp"

int main() {
    smdcatalogue::SignalsOptions options;
    options.format = smdcatalogue::SignalsOptions::Format::json;
    return smdcatalogue::run_signals(options, std::cout, std::cerr);
}
