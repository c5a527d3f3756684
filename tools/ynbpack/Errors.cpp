#include "Errors.h"

namespace ynbpack {

void ThrowProblems(const std::string& what, const std::vector<std::string>& problems)
{
    std::string message = what + ":";
    for (const std::string& problem : problems)
        message += "\n  " + problem;
    throw UsageError(message);
}

} // namespace ynbpack
