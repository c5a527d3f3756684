// The welcome page.
#pragma once

#include <string>

#include "ui/Forms.h"

class TForm2;

class TFrame1 : public ui::Frame {
public:
    // Built by the wizard window, before Form2 holds it.
    explicit TFrame1(TForm2& wizard);

    ui::Image* Image1;
    ui::Image* Image2;
    ui::Label* Label1;
    ui::Label* Label2;
    ui::Label* Label3; // what became of a run that was cut off, when there was one
    ui::Panel* Panel1;
    ui::Button* Button2;
    ui::Button* Button3;

    void ShowRecovery(const std::wstring& text);
    void Button2Click();
    void Button3Click();
};
