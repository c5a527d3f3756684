// A prebuilt program that holds no product (a stub, before ynbpack build
// writes one into it) installs and removes nothing: it says so and ends.
#pragma once

#include <cstdint>
#include <optional>

#include "config/CommandLine.h"

namespace app {

// Without a product (or with a damaged product data area): the message,
// unless the command line asks for silence, and the exit code 1603; nothing
// when the program holds its product.
std::optional<uint32_t> RefuseWithoutProduct(config::Program program);

} // namespace app
