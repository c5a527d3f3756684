// The seams of the programs the tests build (sys/TestSeam.h): each read
// from its environment variable. Linked as an object before the engine's
// library, it takes the place of the shipped version there.
#include "sys/TestSeam.h"

#include <cstdlib>

namespace sys {

std::wstring SeamValue(TestSeam seam)
{
    const wchar_t* name = nullptr;
    switch (seam) {
    case TestSeam::Token:
        name = L"YNB_TEST_TOKEN";
        break;
    case TestSeam::NoCopy:
        name = L"YNB_TEST_NO_COPY";
        break;
    case TestSeam::Cut:
        name = L"YNB_TEST_CUT";
        break;
    case TestSeam::RecoverOnly:
        name = L"YNB_TEST_RECOVER_ONLY";
        break;
    }
    const wchar_t* value = name != nullptr ? _wgetenv(name) : nullptr;
    return value != nullptr ? value : L"";
}

} // namespace sys
