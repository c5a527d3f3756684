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
// The uninstall entry's DisplayVersion, Publisher and URLInfoAbout from the
// product's product.txt, in Shift-JIS; empty when it gives none.
extern const char kDisplayVersion[];
extern const char kPublisher[];
extern const char kUrlInfoAbout[];
