#include "package/ClsYnb.h"

#include "config/SetupText.h"
#include "package/ClsSecurity.h"
#include "sys/ClsFile.h"

ClsYnb::ClsYnb() : file_(std::make_unique<ClsFile>()), security_(std::make_unique<ClsSecurity>()) {}

ClsYnb::~ClsYnb()
{
    file_.reset();
    security_.reset();
}

int ClsYnb::ParseSetupText(char* buffer, SetupRecord& record)
{
    return ::ParseSetupText(buffer, record);
}
