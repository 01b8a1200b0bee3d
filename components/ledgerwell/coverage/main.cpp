// ledgerwell-coverage LOGFILE...: what Ledgerwell makes of a server's log files.

#include "Coverage.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::cerr << "usage: ledgerwell-coverage LOGFILE...\n"
                     "Reads game-server log files as Ledgerwell reads their datagrams and prints,\n"
                     "per kind of line, how many it stores (understood), leaves alone on purpose\n"
                     "(ignored) or cannot read (rejected), with examples of the rejected ones.\n";
        return 2;
    }
    ledgerwell::Coverage coverage;
    int status = 0;
    for (int i = 1; i < argc; ++i) {
        std::ifstream file(argv[i], std::ios::binary);
        if (!file) {
            std::cerr << "ledgerwell-coverage: " << argv[i] << ": " << std::strerror(errno) << "\n";
            status = 1;
            continue;
        }
        coverage.beginServer();
        std::string line;
        for (long number = 1; std::getline(file, line); ++number) {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            if (!line.empty())
                coverage.addLine(line, std::string(argv[i]) + ":" + std::to_string(number));
        }
    }
    std::cout << coverage.report();
    return status;
}
