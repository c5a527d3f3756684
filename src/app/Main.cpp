// The program's entry: the wizard (the main window), the backdrop and the
// progress window, in that order, then the message loop. The exit code is 0
// whatever happens.
#include <windows.h>

#include <memory>

#include "app/Installerback.h"
#include "app/Progress.h"
#include "sys/DllSearch.h"
#include "ui/Dialogs.h"
#include "ui/Error.h"
#include "wizard/Installermain.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    sys::HardenDllSearch();
    try {
        ui::Application::Initialize();
        auto wizard = std::make_unique<TForm2>();
        auto backdrop = std::make_unique<TForm1>();
        auto progress = std::make_unique<TForm3>();
        ui::Application::Run();
    } catch (const ui::Error&) {
        ui::ButtonTexts texts;
        texts.ok = L"OK";
        (void)ui::MessageBoxExact(
            nullptr, L"Catch the Expection! \n This Program is Closed", ui::ApplicationTitle(), MB_OK, texts);
    }
    return 0;
}
