// The completion page.
#pragma once

#include "ui/Forms.h"

class TFrame4 : public ui::Frame {
public:
    explicit TFrame4(ui::Form& owner);

    ui::Image* Image1;
    ui::Image* Image2;
    ui::Label* Label1;
    ui::Label* Label2;
    ui::Panel* Panel1;
    ui::Button* Button2;

    void Button2Click();
};
