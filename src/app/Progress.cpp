#include "app/Progress.h"

TForm3* Form3 = nullptr;

namespace {

constexpr ui::FormSpec kForm3 {
    .caption = L"インストール",
    .border = ui::Border::Dialog,
    .state = ui::WindowState::Normal,
    .position = ui::Position::ScreenCenter,
    .left = 193,
    .top = 111,
    .clientWidth = 152,
    .clientHeight = 53,
    .color = ui::kButtonFace,
    .font = { .height = 12, .bold = true, .color = ui::kWindowText },
};

constexpr ui::FontSpec kLabelFont { .height = 12, .color = ui::kWindowText };

constexpr ui::ControlSpec kLayout[] = {
    { .kind = ui::Kind::Label,
        .name = "Label1",
        .left = 32,
        .top = 16,
        .width = 81,
        .height = 12,
        .caption = L"インストール中...",
        .font = &kLabelFont },
};

} // namespace

TForm3::TForm3()
    : ui::Form(kForm3, kLayout)
{
    Form3 = this;
    Label1 = Find<ui::Label>("Label1");
}
