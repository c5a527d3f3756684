// The installation: run by the destination page's Start button, on the
// user-interface thread, from its first step to its last.
#pragma once

class TFrame3;

void RunInstallSequence(TFrame3& page);
