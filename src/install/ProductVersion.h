// Versions of a product, as product.txt gives them, and what a setup means
// when the product is installed already: one installation of a product, in
// the folder it has, and never an older version over a newer one unless that
// is asked for. Portable: no Win32.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "install/Scope.h"

namespace install {

// Below 0, 0, above 0: a is older than, the same as, newer than b. The parts
// between dots are compared as numbers (1.10.0 is newer than 1.9.2), a
// missing part counting as 0 (1.2 is 1.2.0); a part that is no number
// compares by its text, after every number. An empty version is the same as
// every version: a product without one is set up again as the same version.
int CompareVersions(std::string_view a, std::string_view b);

// What the machine has of the product.
struct InstalledProduct {
    bool installed = false;
    std::string installFolder; // <base folder>\<first component>
    std::string baseFolder; // the folder chosen when it was installed
    std::string version; // its DisplayVersion, or empty
    Scope scope = Scope::Machine; // whose uninstall entry names it
};

enum class SetupCase : uint8_t {
    FirstInstallation, // not installed: any folder
    SameVersion, // installed, the same version: set up again in its folder
    Upgrade, // installed, an older version: replaced in its folder
    Downgrade, // installed, a newer version, and an older one is allowed
    NewerInstalled, // refused: a newer version is installed
    InstalledElsewhere, // refused: the folder asked for is not the installed one
    RepairNotInstalled, // refused: a repair, and the product is not installed
    RepairOtherVersion, // refused: a repair, and another version is installed
};

// What the setup was asked for beside the version it carries.
struct SetupRequest {
    bool otherFolder = false; // a folder (/D=) that is not the installed one
    bool allowDowngrade = false; // /ALLOWDOWNGRADE
    bool repair = false; // /REPAIR: the installed version, and only it
};

// The case of setting up `version` when `installed` describes the machine.
SetupCase JudgeSetup(const InstalledProduct& installed, std::string_view version, const SetupRequest& request);

// The setup's exit code for a refused case; 0 for one that goes on.
uint32_t RefusalExitCode(SetupCase setupCase);

} // namespace install
