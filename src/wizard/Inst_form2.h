// The licence page: two documents shown one after the other.
#pragma once

#include "ui/Forms.h"

class TForm2;

// The page's state: 0 while "setup.txt" is shown, 1 while "license.txt" is.
extern int AgreementStep;

class TFrame2 : public ui::Frame {
public:
    // Built by the wizard window, before Form2 holds it.
    explicit TFrame2(TForm2& wizard);

    ui::Image* Image2;
    ui::Label* Label1;
    ui::Image* Image1;
    ui::Panel* Panel1;
    ui::Button* Button1;
    ui::Button* Button2;
    ui::Button* Button3;
    ui::Memo* Memo1;

    void Button1Click();
    void Button2Click();
    void Button3Click();
    // Shows the document "setup.txt" or "license.txt": the program's own
    // when it holds them (a single-file setup), else the file beside it.
    // Throws ui::FileOpenError when it cannot be read.
    void LoadDocument(const char* name);
};
