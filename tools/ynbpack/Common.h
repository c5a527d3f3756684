// Shared pieces of the ynbpack commands: file access, argument checks and the
// product folder's key file.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace ynbpack {

// Any error that ends a command: main prints it and exits with status 2.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

using Bytes = std::vector<unsigned char>;

// An empty path or "-" means standard input or output.
Bytes ReadFile(const std::string& path);
void WriteFile(const std::string& path, const Bytes& data);

int32_t ParseKey(const std::string& text);

struct ProductKeys {
    int32_t config = 0;
    int32_t payload = 0;
    int32_t manifest = 0;
};
// Reads "name=value" lines (config, payload, manifest; '#' starts a comment).
ProductKeys ReadKeys(const std::string& path);

// Takes "--key K" out of args and returns K; throws when it is missing.
int32_t TakeKeyOption(std::vector<std::string>& args);

// Command entries: each returns the exit status or throws UsageError.
int CommandScramble(std::vector<std::string> args, bool scramble);
int CommandConfigDump(std::vector<std::string> args);
int CommandEmbed(std::vector<std::string> args);
int CommandManifest(std::vector<std::string> args);
int CommandBuild(std::vector<std::string> args);
int CommandCab(std::vector<std::string> args);
int CommandPayload(std::vector<std::string> args, bool make);

} // namespace ynbpack
