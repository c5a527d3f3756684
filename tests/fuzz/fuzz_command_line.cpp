// Any text as a command line of either program: the parser ends, and what it
// accepts holds no switch mark it should have taken as a switch.
#include <cstddef>
#include <cstdint>
#include <string>

#include "config/CommandLine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    std::wstring line;
    for (std::size_t i = 0; i + 1 < size; i += 2)
        line += static_cast<wchar_t>(data[i] | data[i + 1] << 8);
    for (const config::Program program : { config::Program::Setup, config::Program::Uninstall }) {
        config::CommandLine options;
        const config::CommandLineResult result = config::ParseCommandLine(line, program, options);
        if (result.problem == config::CommandLineProblem::None) {
            if (options.hasFolder == options.folder.empty())
                __builtin_trap(); // a folder is given exactly when it is not empty
            if (program == config::Program::Uninstall && (options.hasFolder || options.noDesktop))
                __builtin_trap();
        }
    }
    return 0;
}
