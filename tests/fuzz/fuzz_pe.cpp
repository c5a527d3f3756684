// A program's file as ynbpack reads it (its headers, sections, resources and
// product data area), on any bytes: stays inside the data and refuses only
// with UsageError; a resource section it reads writes back and reads again
// to the same tree.
#include <cstdint>

#include "Errors.h"
#include "PeImage.h"
#include "PeResources.h"
#include "config/ProductArea.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace ynbpack;
    const Bytes bytes(data, data + size);
    try {
        const PeImage image(bytes, "fuzz");
        (void)image.Signed();
        (void)image.Checksum();
        if (const PeSection* section = image.Find(config::kProductSectionName);
            section != nullptr && section->rawSize >= config::kProductAreaSize) {
            config::ProductData product;
            (void)config::ReadProductArea(image.Data().data() + section->rawOffset, section->rawSize, product);
        }
        (void)image.Resources();
    } catch (const UsageError&) {
    }
    constexpr uint32_t kRva = 0x2000;
    try {
        const ResourceTree tree = ReadResources(bytes, kRva, "fuzz");
        if (ReadResources(WriteResources(tree, kRva), kRva, "again") != tree)
            __builtin_trap();
    } catch (const UsageError&) {
    }
    return 0;
}
