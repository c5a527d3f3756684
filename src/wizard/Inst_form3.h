// The destination page: base folder, options and the Start button.
#pragma once

#include <string>

#include "install/Scope.h"
#include "ui/Forms.h"

class TForm2;

class TFrame3 : public ui::Frame {
public:
    // Built by the wizard window, before Form2 holds it.
    explicit TFrame3(TForm2& wizard);

    ui::Image* Image1;
    ui::Image* Image2;
    ui::Label* Label1;
    ui::Label* Label2;
    ui::Panel* Panel1;
    ui::Button* Button1;
    ui::Button* Button2;
    ui::Button* Button3;
    ui::Edit* Edit1;
    ui::CheckBox* CheckBox1;
    ui::CheckBox* CheckBox2;
    ui::Button* Button4;
    ui::Label* Label3; // shown when the product is installed already
    ui::Label* Label4;
    ui::RadioButton* RadioButton1; // every user of the machine
    ui::RadioButton* RadioButton2; // the current user alone

    // The scope the page starts with; choice: the user may change it.
    void SetScope(install::Scope scope, bool choice);

    // The folder of a product installed already: shown, and not to be changed.
    void KeepInstalledFolder(const std::string& baseFolder);

    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();

private:
    // Back, Start and Cancel, which the installation disables while it runs.
    void EnableButtons(bool enabled);
    void ChooseScope(install::Scope scope);

    std::string keptFolder_; // an installed product's base folder, or empty
    install::Scope scope_ = install::Scope::Machine;
};
