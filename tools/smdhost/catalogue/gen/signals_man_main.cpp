// Build step: writes pxr52-signals(7) to the file named on the command line.
#include <fstream>
#include <iostream>

#include "tools/smdhost/catalogue/man_page.hpp"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: signals_man OUTPUT.7" << std::endl;
        return 2;
    }
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    smdcatalogue::write_signals_man_page(out);
    out.close();
    if (!out) {
        std::cerr << "signals_man: cannot write " << argv[1] << std::endl;
        return 1;
    }
    return 0;
}
