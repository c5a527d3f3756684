// Keeps DLLs planted beside the program (a download folder) from being loaded.
#pragma once

namespace sys {

// Restricts the search for DLLs loaded at run time to the system folder.
// Called first thing at program start.
void HardenDllSearch();

} // namespace sys
