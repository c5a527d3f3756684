// The backdrop: a maximised teal window behind the wizard with the product
// name as a white title over a black shadow.
#pragma once

#include "ui/Forms.h"

class TForm1 : public ui::Form {
public:
    TForm1();
    // Form1 holds the window from the end of its construction until it is
    // destroyed.
    ~TForm1() override;

    ui::Label* Label1; // shadow
    ui::Label* Label2; // title

    void FormShow();
    void FormClick();
};

extern TForm1* Form1;
