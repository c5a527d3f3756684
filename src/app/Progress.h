// The progress window shown while the installation runs. Show() and Close()
// (which hides it) come from the form.
#pragma once

#include "ui/Forms.h"

class TForm3 : public ui::Form {
public:
    TForm3();

    ui::Label* Label1;
};

extern TForm3* Form3;
