// The completion page.
#pragma once

#include "ui/Forms.h"

class TForm2;

class TFrame4 : public ui::Frame {
public:
    // Built by the wizard window, before Form2 holds it.
    explicit TFrame4(TForm2& wizard);

    ui::Image* Image1;
    ui::Image* Image2;
    ui::Label* Label1;
    ui::Label* Label2;
    ui::Label* Label3; // a repair: how many files it put back
    ui::Panel* Panel1;
    ui::Button* Button2;

    // After a repair: the files put back, and those kept as the user changed them.
    void ShowRepair(int putBack, int kept);
    void Button2Click();
};
