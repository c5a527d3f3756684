#include "wizard/Inst_form1.h"

#include "sys/Text.h"
#include "wizard/Installermain.h"
#include "wizard/Layouts.h"

namespace {

using namespace wizard;

constexpr ui::FrameSpec kFrame { .left = -8, .top = 3, .width = kPageWidth, .height = kPageHeight, .tabOrder = 3 };

constexpr ui::ControlSpec kLayout[] = {
    Image1At(8, 8),
    Image2At(144, 12),
    TitleAt(184, 22, 120, L"アプリのセットアップ"),
    { .kind = ui::Kind::Label,
        .name = "Label2",
        .left = 152,
        .top = 112,
        .width = 313,
        .height = 73,
        .caption = L"アプリケーションのセットアップを開始します。",
        .flags = ui::kWordWrap },
    { .kind = ui::Kind::Label,
        .name = "Label3",
        .left = 152,
        .top = 196,
        .width = 313,
        .height = 48,
        .caption = L"",
        .flags = ui::kWordWrap },
    SeparatorAt(12, 256),
    ButtonAt("Button2", 312, L"次へ >", 1),
    ButtonAt("Button3", 408, L"キャンセル", 2),
};

} // namespace

TFrame1::TFrame1(TForm2& wizard)
    : ui::Frame(wizard, kFrame, kLayout)
    , Image1(Find<ui::Image>("Image1"))
    , Image2(Find<ui::Image>("Image2"))
    , Label1(Find<ui::Label>("Label1"))
    , Label2(Find<ui::Label>("Label2"))
    , Label3(Find<ui::Label>("Label3"))
    , Panel1(Find<ui::Panel>("Panel1"))
    , Button2(Find<ui::Button>("Button2"))
    , Button3(Find<ui::Button>("Button3"))
{
    // The window's own handler answers Next (it forwards here).
    Button2->OnClick = [] { Form2->TFrame11Button2Click(); };
    Button3->OnClick = [this] { Button3Click(); };
    // The configuration is not loaded yet; the window sets the name later.
    Label1->SetText(sys::FromShiftJis(wizard.Record.ProductName) + L"のセットアップ");
}

void TFrame1::ShowRecovery(const std::wstring& text)
{
    Label3->SetText(text);
}

void TFrame1::Button2Click()
{
    Form2->TFrame11->Hide();
    Form2->TFrame21->Show();
}

void TFrame1::Button3Click()
{
    Form2->CloseWizard();
}
