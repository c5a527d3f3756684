// A sink that writes what the installation tells and asks, and the answers
// given, to the /LOG= file before and after the sink it wraps.
#pragma once

#include "install/InstallEngine.h"
#include "sys/LogFile.h"

namespace install {

// The returned sink calls the given one; `log` must outlive it.
InstallSink LoggedSink(InstallSink sink, sys::LogFile& log);

} // namespace install
