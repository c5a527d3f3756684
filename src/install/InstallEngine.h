// The installation: unpacks the payload into the chosen folder, registers the
// uninstall entry, places what the manifest names, creates the shortcuts and
// writes the install log. It knows no window: it tells its progress and asks
// its questions through the sink its caller gives it, always on the thread
// that called it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "config/SetupRecord.h"

namespace install {

enum class Phase : uint8_t {
    Unpacking, // the payload into the base folder
    Registering, // the uninstall entry
    Placing, // the manifest's entries
    Shortcuts,
    Log, // the install log
    Done,
};

struct Progress {
    Phase phase = Phase::Unpacking;
    uint64_t done = 0; // bytes unpacked, or entries placed
    uint64_t total = 0;
    std::string item; // the file or entry at hand (ANSI), or empty
};

// Every member may be left empty: a missing question takes its default answer.
struct InstallSink {
    std::function<void(const Progress&)> progress;
    // A manifest entry could not be placed (its target path, or the refused
    // line). The installation goes on.
    std::function<void(const std::string& target)> copyFailed;
    // The setup failed before anything was registered. True when the setup
    // ends here (the default), false when the user stays to try again.
    std::function<bool()> setupFailed;
    // Handles the window messages that have arrived; called while the engine
    // waits.
    std::function<void()> pump;
};

struct InstallRequest {
    std::string folderText; // as typed: the base folder
    bool desktopShortcut = false;
    bool startMenuEntry = false;
    std::string programDir; // the folder of the program and its payload
    // The product's values; the installation fills in BaseFolder and the two
    // choices.
    SetupRecord& record;
};

enum class InstallStep : uint8_t {
    None,
    Paths, // a path formed from the folder text and the product does not fit
    Payload, // the payload could not be read
};

struct InstallOutcome {
    bool succeeded = false;
    InstallStep failedAt = InstallStep::None;
    bool ending = false; // the failure's answer: the setup ends
};

InstallOutcome RunInstallation(const InstallRequest& request, const InstallSink& sink);

} // namespace install
