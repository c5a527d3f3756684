#include "app/Progress.h"

#include <array>

#include "sys/Text.h"

TForm3* Form3 = nullptr;

namespace {

// Wide enough for a progress bar and the name of the file at hand.
constexpr ui::FormSpec kForm3 {
    .caption = L"インストール",
    .border = ui::Border::Dialog,
    .state = ui::WindowState::Normal,
    .position = ui::Position::ScreenCenter,
    .left = 193,
    .top = 111,
    .clientWidth = 320,
    .clientHeight = 80,
    .color = ui::kButtonFace,
    .font = { .height = 12, .bold = true, .color = ui::kWindowText },
};

constexpr ui::FontSpec kLabelFont { .height = 12, .color = ui::kWindowText };

// As wide as the window allows: "アンインストール中..." is longer than the
// installation's text, and neither fits in 81 pixels with Japanese fonts.
constexpr ui::ControlSpec kLabel1 { .kind = ui::Kind::Label,
    .name = "Label1",
    .left = 32,
    .top = 16,
    .width = 272,
    .height = 12,
    .caption = L"インストール中...",
    .font = &kLabelFont };

constexpr ui::ControlSpec kBarAndItem[] = {
    { .kind = ui::Kind::ProgressBar, .name = "ProgressBar1", .left = 16, .top = 36, .width = 288, .height = 14 },
    { .kind = ui::Kind::Label,
        .name = "Label2",
        .left = 16,
        .top = 56,
        .width = 288,
        .height = 14,
        .caption = L"",
        .font = &kLabelFont,
        .flags = ui::kPathEllipsis },
};

constexpr ui::ControlSpec kLayout[] = { kLabel1, kBarAndItem[0], kBarAndItem[1] };

ui::FormSpec WithCaption(const wchar_t* caption)
{
    ui::FormSpec spec = kForm3;
    spec.caption = caption;
    return spec;
}

// The same layout with another text, the label sized to it.
std::array<ui::ControlSpec, 3> WithText(const wchar_t* text)
{
    ui::ControlSpec label = kLabel1;
    label.caption = text;
    label.flags |= ui::kAutoSize;
    return { label, kBarAndItem[0], kBarAndItem[1] };
}

} // namespace

TForm3::TForm3()
    : ui::Form(kForm3, kLayout)
{
    FindControls();
    Form3 = this;
}

TForm3::TForm3(const wchar_t* caption, const wchar_t* text)
    : ui::Form(WithCaption(caption), WithText(text))
{
    FindControls();
    Form3 = this;
}

TForm3::~TForm3()
{
    if (Form3 == this)
        Form3 = nullptr;
}

void TForm3::FindControls()
{
    Label1 = Find<ui::Label>("Label1");
    ProgressBar1 = Find<ui::ProgressBar>("ProgressBar1");
    Label2 = Find<ui::Label>("Label2");
}

void TForm3::SetProgress(uint64_t done, uint64_t total, const std::string& item)
{
    ProgressBar1->SetProgress(done, total);
    if (item != shownItem_) {
        shownItem_ = item;
        Label2->SetText(sys::FromAnsi(item.c_str()));
    }
}
