// ynbpack: builds and inspects the scrambled files of a product for the setup
// program. Every error prints a message on standard error and exits with 2.
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#include "Common.h"
#include "Payload.h"

namespace {

const char kUsage[] = "usage: ynbpack COMMAND [ARGS]\n"
                      "  scramble --key K [IN [OUT]]     scramble the whole input as one buffer\n"
                      "  unscramble --key K [IN [OUT]]   the inverse\n"
                      "  config-dump [FILE]              parse a plain configuration text\n"
                      "  embed PRODUCT_DIR OUT.cpp       the product data compiled into setup.exe\n"
                      "  manifest --key K IN.txt OUT.com check a plain manifest and scramble it\n"
                      "  build PRODUCT OUTDIR [--tree DIR]... [--add SRC=RELPATH]... [--uninstaller FILE]\n"
                      "                                  data00.dat, setup.txt and license.txt of a product\n"
                      "  cab DIR OUT.cab                 a cabinet of every file under DIR (MSZIP)\n"
                      "  payload --key K IN.cab OUT.dat  scramble every full 64 KiB block of a cabinet\n"
                      "  unpayload --key K IN.dat OUT.cab  the inverse\n"
                      "Standard input and output stand for omitted files or '-'.\n";

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::fprintf(stderr, "ynbpack: no command given\n%s", kUsage);
        return 2;
    }
    if (args[0] == "--help" || args[0] == "-h") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    const std::string command = args[0];
    args.erase(args.begin());
    try {
        if (command == "scramble")
            return ynbpack::CommandScramble(args, true);
        if (command == "unscramble")
            return ynbpack::CommandScramble(args, false);
        if (command == "config-dump")
            return ynbpack::CommandConfigDump(args);
        if (command == "embed")
            return ynbpack::CommandEmbed(args);
        if (command == "manifest")
            return ynbpack::CommandManifest(args);
        if (command == "build")
            return ynbpack::CommandBuild(args);
        if (command == "cab")
            return ynbpack::CommandCab(args);
        if (command == "payload")
            return ynbpack::CommandPayload(args, true);
        if (command == "unpayload")
            return ynbpack::CommandPayload(args, false);
        throw ynbpack::UsageError("unknown command '" + command + "'\n" + kUsage);
    } catch (const std::exception& e) {
        std::cerr << "ynbpack: " << e.what() << '\n';
        return 2;
    }
}
