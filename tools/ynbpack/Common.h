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

// Little-endian fields of a file's bytes; the caller checks the bounds.
uint32_t ReadLe16(const Bytes& data, std::size_t at);
uint32_t ReadLe32(const Bytes& data, std::size_t at);

int32_t ParseKey(const std::string& text);

// One "name=value" line of a product file, both sides without surrounding
// blanks; fault tells why a line is none.
struct NamedValue {
    int line = 0;
    std::string name;
    std::string value;
    std::string fault;
};
// The lines of text, in order, after a UTF-8 byte order mark. Blank lines and lines whose first non-blank
// character is '#' are passed over; with hashComments, everything from any
// '#' on is too. A line without '=' or without a name has a fault.
std::vector<NamedValue> ReadNamedValues(const Bytes& text, bool hashComments);

struct ProductKeys {
    int32_t config = 0;
    int32_t payload = 0;
    int32_t manifest = 0;
};
// The key file: config=, payload= and manifest=, each once, from 0 to 999
// ('#' starts a comment). Every fault adds a problem; the keys are then unset.
ProductKeys ReadKeys(const std::string& path, std::vector<std::string>& problems);
// The same, throwing with every problem.
ProductKeys ReadKeys(const std::string& path);

// Throws one UsageError that lists every problem, one a line, after what.
[[noreturn]] void ThrowProblems(const std::string& what, const std::vector<std::string>& problems);

// Shift-JIS (code page 932), the setup program's texts, and UTF-8; false
// when the text has no form in the other.
bool Utf8ToShiftJis(const std::string& utf8, std::string& shiftJis);
bool ShiftJisToUtf8(const std::string& shiftJis, std::string& utf8);

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
int CommandCheck(std::vector<std::string> args);
int CommandInfo(std::vector<std::string> args);
int CommandWinget(std::vector<std::string> args);

} // namespace ynbpack
