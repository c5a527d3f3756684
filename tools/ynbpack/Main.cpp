// ynbpack: builds and inspects the scrambled files of a product for the setup
// program. Every error prints a message on standard error and exits with 2.
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#include <filesystem>

#include "Commands.h"
#include "Host.h"
#include "Errors.h"
#include "Payload.h"
#include "Stamp.h"

namespace {

const char kUsage[] = "usage: ynbpack COMMAND [ARGS]\n"
                      "  scramble --key K [IN [OUT]]     scramble the whole input as one buffer\n"
                      "  unscramble --key K [IN [OUT]]   the inverse\n"
                      "  config-dump [FILE]              parse a plain configuration text\n"
                      "  embed PRODUCT_DIR OUT.cpp [VERSIONDIR]\n"
                      "                                  the product data compiled into setup.exe, and the\n"
                      "                                  programs' version resources into VERSIONDIR\n"
                      "  inspect PROGRAM.exe             the product data a setup.exe or uninstall.exe holds\n"
                      "  manifest --key K IN.txt OUT.com check a plain manifest and scramble it\n"
                      "  build PRODUCT OUTDIR [--tree DIR]... [--add SRC=RELPATH]... [--uninstaller FILE]\n"
                      "        [--folder-size BYTES]     setup.exe, data00.dat, setup.txt and license.txt of a\n"
                      "        [--compression C]         product, compressed as cab's are; setup.exe and the\n"
                      "        [--arch x86|x64]          uninstaller are the prebuilt programs (x86 unless\n"
                      "        [--stubs DIR]             --arch says otherwise, found beside ynbpack or named\n"
                      "        [--single-file]           by --stubs) with the product written in; with\n"
                      "        [--setup FILE|--no-setup] --single-file the payload and the documents are in\n"
                      "                                  setup.exe; --setup stamps a built FILE instead,\n"
                      "                                  --no-setup makes none\n"
                      "  check PRODUCT                   every problem of a product folder, one a line\n"
                      "  info PRODUCT                    name, folder and product.txt's values, key=value\n"
                      "  winget PRODUCT OUTDIR x86=ZIP,URL [x64=ZIP,URL]\n"
                      "                                  the package manager's manifests of the zips\n"
                      "  cab [--folder-size BYTES] [--compression C] DIR OUT.cab\n"
                      "                                  a cabinet of every file under DIR, in folders of at\n"
                      "                                  most BYTES (K, M: KiB, MiB; default 4M) each, compressed\n"
                      "                                  by C: lzx[:15-21] (the default; the window's size as a\n"
                      "                                  power of two, default 21), mszip or none\n"
                      "  list CAB                        the cabinet's table, tab-separated: cabinet SIZE FOLDERS\n"
                      "                                  FILES TOTAL; folder INDEX OFFSET BLOCKS COMPRESSION;\n"
                      "                                  file FOLDER OFFSET SIZE ATTRIBUTES TIME NAME\n"
                      "  payload --key K IN.cab OUT.dat  scramble every full 64 KiB block of a cabinet\n"
                      "  unpayload --key K IN.dat OUT.cab  the inverse\n"
                      "  stamp SETUP.exe DATA00.dat [OUT.exe]\n"
                      "                                  the payload's SHA-256 written into the setup program\n"
                      "                                  (in place without OUT.exe); stamp before signing\n"
                      "Standard input and output stand for omitted files or '-'.\n";

int Run(std::vector<std::string> args)
{
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
        if (command == "inspect")
            return ynbpack::CommandInspect(args);
        if (command == "manifest")
            return ynbpack::CommandManifest(args);
        if (command == "build")
            return ynbpack::CommandBuild(args);
        if (command == "cab")
            return ynbpack::CommandCab(args);
        if (command == "list")
            return ynbpack::CommandList(args);
        if (command == "payload")
            return ynbpack::CommandPayload(args, true);
        if (command == "unpayload")
            return ynbpack::CommandPayload(args, false);
        if (command == "check")
            return ynbpack::CommandCheck(args);
        if (command == "info")
            return ynbpack::CommandInfo(args);
        if (command == "winget")
            return ynbpack::CommandWinget(args);
        if (command == "stamp")
            return ynbpack::CommandStamp(args);
        throw ynbpack::UsageError("unknown command '" + command + "'\n" + kUsage);
    } catch (const std::exception& e) {
        std::cerr << "ynbpack: " << e.what() << '\n';
        return 2;
    }
}

} // namespace

#ifdef _WIN32
// Windows hands the arguments over in UTF-16; ynbpack works in UTF-8, and so
// does its console while it runs.
int wmain(int argc, wchar_t** argv)
{
    const UINT console = GetConsoleOutputCP();
    (void)SetConsoleOutputCP(CP_UTF8);
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(ynbpack::Utf8Of(std::filesystem::path(argv[i])));
    const int status = Run(std::move(args));
    std::fflush(stdout);
    std::fflush(stderr);
    (void)SetConsoleOutputCP(console);
    return status;
}
#else
int main(int argc, char** argv)
{
    return Run(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
