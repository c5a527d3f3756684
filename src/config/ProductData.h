// The product data of the program: the area of its ".product" section
// (config/ProductArea.h), compiled in for a product by `ynbpack embed`, or
// written by `ynbpack build` into a prebuilt program (a stub) that holds
// none. Read once, at the program's start, through the names below.
#pragma once

#include <cstdint>

#include "config/ProductArea.h"

// The area itself, defined by the generated product data (ynbpack embed) or
// by the stubs' empty one (config/ProductStub.cpp). Volatile, so that the
// compiler keeps every byte in the file as written and reads them at run
// time, whatever the program was built with.
extern const volatile unsigned char kProductArea[config::kProductAreaSize];

// The area as read: whether it holds a product (problem None) and what.
const config::ProductData& TheProductData();
config::ProductAreaProblem TheProductDataProblem();

// Its values. Without a product they are zero and empty.
extern const int32_t kConfigKey;
extern const int32_t kPayloadKey;
extern const int32_t kManifestKey;
// The uninstall entry's DisplayVersion, Publisher and URLInfoAbout from the
// product's product.txt, in Shift-JIS; empty when it gives none.
extern const char* const kDisplayVersion;
extern const char* const kPublisher;
extern const char* const kUrlInfoAbout;
