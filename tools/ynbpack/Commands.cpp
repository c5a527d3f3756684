#include "Commands.h"

#include "Errors.h"

namespace ynbpack {

bool TakeValueOption(std::vector<std::string>& args, const std::string& name, std::string& value)
{
    bool seen = false;
    for (std::size_t i = 0; i < args.size();) {
        if (args[i] != name) {
            ++i;
            continue;
        }
        if (seen)
            throw UsageError(name + " given twice");
        if (i + 1 >= args.size())
            throw UsageError(name + " needs a value");
        value = args[i + 1];
        seen = true;
        args.erase(args.begin() + static_cast<std::ptrdiff_t>(i), args.begin() + static_cast<std::ptrdiff_t>(i) + 2);
    }
    return seen;
}

} // namespace ynbpack
