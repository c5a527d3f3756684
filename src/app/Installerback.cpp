#include "app/Installerback.h"

#include "wizard/Installermain.h"

TForm1* Form1 = nullptr;

namespace {

constexpr ui::FormSpec kForm1 {
    .caption = L"Form1",
    .border = ui::Border::ToolWindow,
    .state = ui::WindowState::Maximized,
    .position = ui::Position::DesktopCenter,
    .left = 192,
    .top = 107,
    .clientWidth = 694,
    .clientHeight = 332,
    .color = ui::kTeal,
    .font = { .height = 12, .color = ui::kWhite },
};

constexpr ui::FontSpec kShadowFont { .height = 32, .bold = true, .italic = true, .color = ui::kBlack };
constexpr ui::FontSpec kTitleFont { .height = 32, .bold = true, .italic = true, .color = ui::kWhite };

// The title (Label2, created second) is drawn over its shadow (Label1).
constexpr ui::ControlSpec kLayout[] = {
    { .kind = ui::Kind::Label,
        .name = "Label1",
        .left = 8,
        .top = 8,
        .width = 681,
        .height = 32,
        .caption = L"ソフト名",
        .font = &kShadowFont,
        .flags = ui::kTransparent },
    { .kind = ui::Kind::Label,
        .name = "Label2",
        .left = 6,
        .top = 6,
        .width = 1500,
        .height = 32,
        .caption = L"ソフト名",
        .font = &kTitleFont,
        .flags = ui::kTransparent },
};

} // namespace

TForm1::TForm1()
    : ui::Form(kForm1, kLayout)
{
    Label1 = Find<ui::Label>("Label1");
    Label2 = Find<ui::Label>("Label2");
    OnShow = [this] { FormShow(); };
    OnClick = [this] { FormClick(); };
    Show();
    SetWindowState(ui::WindowState::Maximized);
    Form1 = this;
}

TForm1::~TForm1()
{
    if (Form1 == this)
        Form1 = nullptr;
}

void TForm1::FormShow()
{
    Label1->SetVisible(true);
}

void TForm1::FormClick()
{
    if (Form2 != nullptr)
        Form2->Focus();
}
