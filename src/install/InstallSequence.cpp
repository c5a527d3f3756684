#include "install/InstallSequence.h"

// The sequence is being written; until then the Start button does nothing.
void RunInstallSequence(TFrame3&) {}
