// pxr52-signals(7), written from the catalogue at build time (gen/), so the
// installed page lists what the installed plug-in sends.
#pragma once

#include <ostream>

namespace smdcatalogue {

void write_signals_man_page(std::ostream& out);

}  // namespace smdcatalogue
