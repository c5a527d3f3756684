// The progress window shown while the installation runs. Show() and Close()
// (which hides it) come from the form.
#pragma once

#include "ui/Forms.h"

class TForm3 : public ui::Form {
public:
    TForm3();
    // The same window with another caption and text (the uninstaller's).
    TForm3(const wchar_t* caption, const wchar_t* text);

    ui::Label* Label1;
};

extern TForm3* Form3;
