#include "app/NoProduct.h"

#include <windows.h>

#include <string>

#include "config/ProductData.h"
#include "ui/Dialogs.h"

namespace app {

std::optional<uint32_t> RefuseWithoutProduct(config::Program program)
{
    const config::ProductAreaProblem problem = TheProductDataProblem();
    if (problem == config::ProductAreaProblem::None)
        return std::nullopt;
    config::CommandLine options;
    (void)config::ParseCommandLine(GetCommandLineW(), program, options);
    if (!options.silent) {
        const std::wstring text = problem == config::ProductAreaProblem::NoProduct
            ? L"このプログラムには製品が入っていません。\nynbpack build で製品を書き込んだものをお使いください。"
            : L"このプログラムの製品の情報が壊れています。";
        ui::ButtonTexts texts;
        texts.ok = L"OK";
        (void)ui::MessageBoxExact(nullptr, text, L"ynbsetup", MB_OK | MB_ICONERROR, texts);
    }
    return config::kExitFailed;
}

} // namespace app
