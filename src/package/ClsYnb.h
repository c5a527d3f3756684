// The installer core: the configuration parser and the payload unpacking.
#pragma once

#include <memory>

#include "config/SetupRecord.h"

class ClsFile;
class ClsSecurity;

class ClsYnb {
public:
    ClsYnb();
    ~ClsYnb();

    int ParseSetupText(char* buffer, SetupRecord& record);
    // The compiled-in configuration into record: copied into a zeroed working
    // buffer, unscrambled in place and parsed. A stored length outside 1..999
    // loads nothing and gives false.
    bool LoadSetupText(SetupRecord& record);
    // 0 when temp.dat was written completely from data00.dat, -1 on any failure.
    int UnscramblePayload();
    // 1 when the payload was unscrambled (whatever became of the extraction), 0 otherwise.
    int UnpackPayload(const SetupRecord& record);

private:
    std::unique_ptr<ClsFile> file_;
    std::unique_ptr<ClsSecurity> security_;
};
