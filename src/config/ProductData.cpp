#include "config/ProductData.h"

namespace {

struct Loaded {
    config::ProductData data;
    config::ProductAreaProblem problem = config::ProductAreaProblem::NoMarker;
};

const Loaded& Load()
{
    static const Loaded loaded = [] {
        unsigned char copy[config::kProductAreaSize];
        for (std::size_t i = 0; i < sizeof copy; ++i)
            copy[i] = kProductArea[i];
        Loaded result;
        result.problem = config::ReadProductArea(copy, sizeof copy, result.data);
        return result;
    }();
    return loaded;
}

} // namespace

const config::ProductData& TheProductData()
{
    return Load().data;
}

config::ProductAreaProblem TheProductDataProblem()
{
    return Load().problem;
}

// Initialised before main from the area; nothing reads them earlier.
extern const int32_t kConfigKey = TheProductData().configKey;
extern const int32_t kPayloadKey = TheProductData().payloadKey;
extern const int32_t kManifestKey = TheProductData().manifestKey;
extern const char* const kDisplayVersion = TheProductData().displayVersion;
extern const char* const kPublisher = TheProductData().publisher;
extern const char* const kUrlInfoAbout = TheProductData().urlInfoAbout;
