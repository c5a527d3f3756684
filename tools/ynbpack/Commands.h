// The commands of ynbpack: each takes its arguments (without the command's
// name) and returns the exit status, or throws UsageError or FileError.
#pragma once

#include <string>
#include <vector>

namespace ynbpack {

// The value of "NAME VALUE" taken out of args into value; false when NAME is
// absent. Throws UsageError when NAME has no value or is given twice.
bool TakeValueOption(std::vector<std::string>& args, const std::string& name, std::string& value);

int CommandScramble(std::vector<std::string> args, bool scramble);
int CommandConfigDump(std::vector<std::string> args);
int CommandEmbed(std::vector<std::string> args);
int CommandInspect(std::vector<std::string> args);
int CommandManifest(std::vector<std::string> args);
int CommandBuild(std::vector<std::string> args);
int CommandCab(std::vector<std::string> args);
int CommandList(std::vector<std::string> args);
int CommandPayload(std::vector<std::string> args, bool make);
int CommandCheck(std::vector<std::string> args);
int CommandInfo(std::vector<std::string> args);
int CommandWinget(std::vector<std::string> args);
int CommandStamp(std::vector<std::string> args); // SETUP.exe DATA00.dat [OUT.exe]

} // namespace ynbpack
