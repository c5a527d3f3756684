// A stranger's cabinet.dll, planted beside a program (as in a download
// folder). The DLL-search test checks that the program never loads it.
#include <windows.h>

extern "C" __declspec(dllexport) int YnbPlantedMarker()
{
    return 1;
}
