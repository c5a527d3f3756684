// What ends a ynbpack command: main prints the message and exits with
// status 2.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace ynbpack {

// The command cannot do what it was asked: the command line is wrong, or
// what it names (a product folder, a tree, a file's content) is not one it
// can use.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A file or folder could not be opened, read, listed, created or written.
struct FileError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Throws one UsageError that lists every problem, one a line, after what.
[[noreturn]] void ThrowProblems(const std::string& what, const std::vector<std::string>& problems);

} // namespace ynbpack
