// The product data area of a prebuilt program that holds no product (a
// stub): the marker and the layout version, then zeros, for ynbpack build to
// fill.
#include "config/ProductData.h"

namespace {

using config::kProductAreaLayout;
using config::kProductAreaMarker;

} // namespace

__attribute__((section(".product"), used)) extern const volatile unsigned char kProductArea[config::kProductAreaSize]
    = { kProductAreaMarker[0], kProductAreaMarker[1], kProductAreaMarker[2], kProductAreaMarker[3],
          kProductAreaMarker[4], kProductAreaMarker[5], kProductAreaMarker[6], kProductAreaMarker[7],
          kProductAreaMarker[8], kProductAreaMarker[9], kProductAreaMarker[10], kProductAreaMarker[11],
          kProductAreaMarker[12], kProductAreaMarker[13], kProductAreaMarker[14], kProductAreaMarker[15],
          kProductAreaLayout & 0xff, (kProductAreaLayout >> 8) & 0xff, (kProductAreaLayout >> 16) & 0xff,
          (kProductAreaLayout >> 24) & 0xff };
