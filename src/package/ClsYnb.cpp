#include "package/ClsYnb.h"

#include <cstring>

#include "config/ProductData.h"
#include "config/SetupText.h"
#include "package/ClsSecurity.h"
#include "package/PayloadStamp.h"

namespace {

const char kPayloadName[] = "data00.dat";

} // namespace

ClsYnb::ClsYnb()
    : security_(std::make_unique<ClsSecurity>())
{
}

ClsYnb::~ClsYnb() = default;

int ClsYnb::ParseSetupText(char* buffer, SetupRecord& record)
{
    return ::ParseSetupText(buffer, record);
}

bool ClsYnb::LoadSetupText(SetupRecord& record)
{
    const config::ProductData& product = TheProductData();
    if (!product.present)
        return false;
    char buffer[kSetupBufferSize];
    const int32_t length = CopySetupText(product.SetupTextLength, product.SetupTextData, buffer);
    if (length <= 0)
        return false;
    (void)security_->Unscramble(buffer, length, kConfigKey);
    (void)ParseSetupText(buffer, record);
    return true;
}

int ClsYnb::UnpackPayload(const SetupRecord& record, const std::function<void()>& pump,
    const std::function<void(uint64_t done, uint64_t total, const std::string& item)>& progress,
    package::ExtractReport& report)
{
    // The base folder's field may lack its terminator; it then does not fit.
    const std::size_t baseLength = strnlen(record.BaseFolder, sizeof record.BaseFolder);
    if (baseLength >= sizeof record.BaseFolder) {
        report = {};
        report.problem = package::ExtractProblem::RefusedName;
        report.detail = "the base folder has no end within its field";
        return 0;
    }
    package::ExtractRequest request;
    request.payload = kPayloadName;
    request.key = kPayloadKey;
    request.destination = std::string(record.BaseFolder, baseLength) + "\\";
    unsigned char digest[kPayloadStampDigestSize];
    if (PayloadStampDigest(digest)) // a program made without a stamp checks nothing
        request.digest.assign(digest, digest + sizeof digest);
    request.pump = pump;
    request.progress = progress;
    report = package::ExtractPayload(request);
    return report.problem == package::ExtractProblem::None ? 1 : 0;
}
