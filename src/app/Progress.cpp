#include "app/Progress.h"

#include <array>

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

// The variant with other texts: wide enough for a longer one, the label
// sized to its text.
ui::FormSpec WithCaption(const wchar_t* caption)
{
    ui::FormSpec spec = kForm3;
    spec.caption = caption;
    spec.clientWidth = 208;
    return spec;
}

ui::ControlSpec WithText(const wchar_t* text)
{
    ui::ControlSpec label = kLayout[0];
    label.caption = text;
    label.flags |= ui::kAutoSize;
    return label;
}

} // namespace

TForm3::TForm3()
    : ui::Form(kForm3, kLayout)
{
    Form3 = this;
    Label1 = Find<ui::Label>("Label1");
}

TForm3::TForm3(const wchar_t* caption, const wchar_t* text)
    : ui::Form(WithCaption(caption), std::span<const ui::ControlSpec>(std::array { WithText(text) }))
{
    Form3 = this;
    Label1 = Find<ui::Label>("Label1");
}
