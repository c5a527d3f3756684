// The program's entry.
#include <windows.h>

#include "config/ProductData.h"
#include "config/SetupText.h"
#include "sys/DllSearch.h"
#include "ui/Text.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    sys::HardenDllSearch();
    SetupRecord record;
    LoadSetupText(SetupTextLength, SetupTextData, kConfigKey, record);
    const std::wstring name = ui::FromShiftJis(record.ProductName);
    MessageBoxW(nullptr, name.c_str(), name.c_str(), MB_OK);
    return 0;
}
