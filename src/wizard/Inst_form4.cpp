#include "wizard/Inst_form4.h"

#include <string>

#include "wizard/Installermain.h"
#include "wizard/Layouts.h"

namespace {

using namespace wizard;

constexpr ui::FrameSpec kFrame { .left = -8, .top = 0, .width = kPageWidth, .height = kPageHeight, .tabOrder = 0 };

constexpr ui::ControlSpec kLayout[] = {
    Image1At(8, 8),
    Image2At(144, 12),
    TitleAt(184, 22, 112, L"セットアップの完了"),
    { .kind = ui::Kind::Label,
        .name = "Label2",
        .left = 152,
        .top = 112,
        .width = 238,
        .height = 12,
        .caption = L"アプリケーションのセットアップが完了しました。",
        .flags = ui::kWordWrap | ui::kAutoSize },
    { .kind = ui::Kind::Label,
        .name = "Label3",
        .left = 152,
        .top = 152,
        .width = 313,
        .height = 48,
        .caption = L"",
        .flags = ui::kWordWrap },
    SeparatorAt(8, 256),
    ButtonAt("Button2", 408, L"終了", 1),
};

} // namespace

TFrame4::TFrame4(TForm2& wizard)
    : ui::Frame(wizard, kFrame, kLayout)
    , Image1(Find<ui::Image>("Image1"))
    , Image2(Find<ui::Image>("Image2"))
    , Label1(Find<ui::Label>("Label1"))
    , Label2(Find<ui::Label>("Label2"))
    , Label3(Find<ui::Label>("Label3"))
    , Panel1(Find<ui::Panel>("Panel1"))
    , Button2(Find<ui::Button>("Button2"))
{
    Button2->OnClick = [this] { Button2Click(); };
}

void TFrame4::ShowRepair(int putBack, int kept)
{
    std::wstring text = putBack == 0 ? std::wstring(L"修復しました。ファイルはすべてそろっていました。")
                                     : L"修復しました。ファイル " + std::to_wstring(putBack) + L" 個を元に戻しました。";
    if (kept > 0)
        text += L"\n変更されていたファイル " + std::to_wstring(kept) + L" 個は、そのままにしました。";
    Label3->SetText(text);
}

void TFrame4::Button2Click()
{
    Form2->SetFinished();
    Form2->CloseWizard();
}
