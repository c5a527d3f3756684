// The shipped programs' seams: none. Alone in its file, so that a test
// program that defines SeamValue itself never pulls this one from the
// library.
#include "sys/TestSeam.h"

namespace sys {

std::wstring SeamValue(TestSeam)
{
    return {};
}

} // namespace sys
