// The product data compiled into the program, generated at build time from the
// product folder by `ynbpack embed`.
#pragma once

#include <cstdint>

#include "config/SetupText.h"

extern const char SetupTextLength[kSetupTextLengthSize];
extern const char SetupTextData[kSetupTextDataSize + 1];
extern const int32_t kConfigKey;
extern const int32_t kPayloadKey;
extern const int32_t kManifestKey;
