// What the four pages share: fonts, the pictures and the page frame.
#pragma once

#include "app/Resource.h"
#include "ui/Layout.h"

namespace wizard {

constexpr ui::FontSpec kTitleFont { .height = 13, .bold = true };
constexpr ui::FontSpec kMemoFont { .height = 15 };

constexpr int kPageWidth = 500;
constexpr int kPageHeight = 300;

constexpr ui::ControlSpec Image1At(int left, int top)
{
    return { .kind = ui::Kind::Image,
        .name = "Image1",
        .left = left,
        .top = top,
        .width = 125,
        .height = 246,
        .resource = IDB_IMAGE1 };
}

constexpr ui::ControlSpec Image2At(int left, int top)
{
    return { .kind = ui::Kind::Image,
        .name = "Image2",
        .left = left,
        .top = top,
        .width = 32,
        .height = 32,
        .flags = ui::kIcon | ui::kTransparent,
        .resource = IDI_IMAGE2 };
}

constexpr ui::ControlSpec TitleAt(int left, int top, int width, const wchar_t* caption)
{
    return { .kind = ui::Kind::Label,
        .name = "Label1",
        .left = left,
        .top = top,
        .width = width,
        .height = 13,
        .caption = caption,
        .font = &kTitleFont,
        .flags = ui::kAutoSize };
}

constexpr ui::ControlSpec SeparatorAt(int left, int top)
{
    return {
        .kind = ui::Kind::Panel, .name = "Panel1", .left = left, .top = top, .width = 478, .height = 3, .tabOrder = 0
    };
}

constexpr ui::ControlSpec ButtonAt(const char* name, int left, const wchar_t* caption, int tabOrder)
{
    return { .kind = ui::Kind::Button,
        .name = name,
        .left = left,
        .top = 278,
        .width = 80,
        .height = 20,
        .caption = caption,
        .tabOrder = tabOrder };
}

} // namespace wizard
