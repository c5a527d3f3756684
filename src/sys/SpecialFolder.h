// The shell's special folders by CSIDL, as ClsFile's getters resolve them.
#pragma once

namespace sys {

// The folder's path into result (260 bytes), as the shell gives it; an empty
// text when the shell cannot name the folder or it has no file-system path.
void GetSpecialFolder(int csidl, char* result);

} // namespace sys
