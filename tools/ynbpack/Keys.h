// The scrambling keys: the product folder's key file and the --key option.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ynbpack {

int32_t ParseKey(const std::string& text);

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

// Takes "--key K" out of args and returns K; throws when it is missing or
// given twice.
int32_t TakeKeyOption(std::vector<std::string>& args);

} // namespace ynbpack
