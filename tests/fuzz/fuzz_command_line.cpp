// Any text as a command line of either program: the parser ends, and what it
// accepts holds no switch mark it should have taken as a switch; the switches
// of the copy started with administrator rights give the same choices back,
// with the pipe for its log lines and never the log's path.
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
            if (options.currentUser)
                continue; // a user's own installation is never started elevated
            config::CommandLine again;
            const std::wstring pipe
                = options.log.empty() ? std::wstring() : L"ynb-log-00000000000000000000000000000000";
            if (config::ParseCommandLine(L"p " + config::ElevatedArguments(options, program, pipe), program, again)
                    .problem
                != config::CommandLineProblem::None)
                __builtin_trap();
            if (!again.elevated || again.logPipe != pipe || !again.log.empty() || again.silent != options.silent
                || again.progress != options.progress || again.repair != options.repair
                || again.closeApplications != options.closeApplications || again.noDesktop != options.noDesktop
                || again.hasFolder != options.hasFolder || again.folder != options.folder)
                __builtin_trap();
        }
    }
    return 0;
}
