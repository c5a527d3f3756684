// The installer core: the configuration parser and the payload unpacking.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "config/SetupRecord.h"
#include "package/CabinetExtractor.h"

class ClsSecurity;

class ClsYnb {
public:
    ClsYnb();
    ~ClsYnb();

    int ParseSetupText(char* buffer, SetupRecord& record);
    // The program's configuration into record: copied into a zeroed working
    // buffer, unscrambled in place and parsed. A program without a product
    // (config/ProductData.h) or a stored length outside 1..999 loads nothing
    // and gives false.
    bool LoadSetupText(SetupRecord& record);

    // Extracts "data00.dat" of the current directory into the record's
    // BaseFolder: 1 when every file was placed, 0 when the payload could not
    // be placed whole (then nothing of this run is left; report says why).
    // pump and progress are called on this thread while it waits.
    int UnpackPayload(const SetupRecord& record, const std::function<void()>& pump,
        const std::function<void(uint64_t done, uint64_t total, const std::string& item)>& progress,
        package::ExtractReport& report);

private:
    std::unique_ptr<ClsSecurity> security_;
};
