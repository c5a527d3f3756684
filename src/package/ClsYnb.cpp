#include "package/ClsYnb.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "config/ProductData.h"
#include "config/SetupText.h"
#include "package/CabinetExtractor.h"
#include "package/ClsSecurity.h"
#include "package/PayloadBlocks.h"
#include "sys/ClsFile.h"
#include "sys/Handle.h"

namespace {

const char kPayloadName[] = "data00.dat";
const char kCabinetName[] = "temp.dat";
const char kCabinetSuffix[] = "\\temp.dat";
constexpr DWORD kFullCabinetPathSize = 260;

bool ReadExactly(HANDLE file, unsigned char* buffer, DWORD count)
{
    DWORD read = 0;
    return ReadFile(file, buffer, count, &read, nullptr) && read == count;
}

bool WriteExactly(HANDLE file, const unsigned char* buffer, DWORD count)
{
    DWORD written = 0;
    return WriteFile(file, buffer, count, &written, nullptr) && written == count;
}

} // namespace

ClsYnb::ClsYnb()
    : file_(std::make_unique<ClsFile>())
    , security_(std::make_unique<ClsSecurity>())
{
}

ClsYnb::~ClsYnb()
{
    file_.reset();
    security_.reset();
}

int ClsYnb::ParseSetupText(char* buffer, SetupRecord& record)
{
    return ::ParseSetupText(buffer, record);
}

bool ClsYnb::LoadSetupText(SetupRecord& record)
{
    char buffer[kSetupBufferSize];
    const int32_t length = CopySetupText(SetupTextLength, SetupTextData, buffer);
    if (length <= 0)
        return false;
    (void)security_->Unscramble(buffer, length, kConfigKey);
    (void)ParseSetupText(buffer, record);
    return true;
}

int ClsYnb::UnscramblePayload()
{
    // Missing, locked, or 2 GiB and more (beyond a signed 32-bit size).
    const int32_t size = file_->GetSize(kPayloadName);
    if (size < 0)
        return -1;
    sys::UniqueFile payload(
        CreateFileA(kPayloadName, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!payload)
        return -1;
    sys::UniqueFile cabinet(
        CreateFileA(kCabinetName, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!cabinet)
        return -1;
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[kPayloadBlockSize]);
    if (!buffer)
        return -1;

    const int32_t blocks = size / kPayloadBlockSize;
    for (int32_t k = 0; k < blocks; ++k) {
        if (!ReadExactly(payload.Get(), buffer.get(), kPayloadBlockSize))
            return -1;
        (void)security_->Unscramble(buffer.get(), kPayloadBlockSize, kPayloadKey);
        if (!WriteExactly(cabinet.Get(), buffer.get(), kPayloadBlockSize))
            return -1;
    }
    const DWORD tail = static_cast<DWORD>(size % kPayloadBlockSize);
    if (!ReadExactly(payload.Get(), buffer.get(), tail) || !WriteExactly(cabinet.Get(), buffer.get(), tail))
        return -1;
    // A failed close may have lost buffered data.
    if (!cabinet.Reset())
        return -1;
    return 0;
}

int ClsYnb::UnpackPayload(const SetupRecord& record)
{
    if (UnscramblePayload() == -1)
        return 0;

    char cabinetPath[kFullCabinetPathSize];
    const DWORD length = GetCurrentDirectoryA(sizeof cabinetPath, cabinetPath);
    // The base folder's field may lack its terminator; it then does not fit.
    const std::size_t baseLength = strnlen(record.BaseFolder, sizeof record.BaseFolder);
    if (length == 0 || length + sizeof kCabinetSuffix > sizeof cabinetPath) {
        char text[160];
        (void)std::snprintf(text, sizeof text,
            "The current folder's path (%lu bytes) is too long for the cabinet path of %lu bytes\n",
            static_cast<unsigned long>(length), static_cast<unsigned long>(sizeof cabinetPath));
        (void)ReportMessage(text, "error", kReportInformation);
        (void)ReportMessage(kExtractionFailedText, "cabinet", kReportInformation);
    } else if (baseLength >= sizeof record.BaseFolder) {
        (void)ReportMessage("The base folder has no end within its field\n", "error", kReportInformation);
        (void)ReportMessage(kExtractionFailedText, "cabinet", kReportInformation);
    } else {
        std::memcpy(cabinetPath + length, kCabinetSuffix, sizeof kCabinetSuffix);
        char destination[sizeof record.BaseFolder + 1];
        std::memcpy(destination, record.BaseFolder, baseLength);
        destination[baseLength] = '\\';
        destination[baseLength + 1] = '\0';
        // Its outcome goes only to the reporting hook; a destination that
        // does not fit the extractor is refused there.
        ExtractCabinet(cabinetPath, destination);
    }
    (void)file_->RemoveFile(kCabinetName);
    return 1;
}
