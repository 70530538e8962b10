// How long a test waits for another process or a file: the figure that fits
// a native run, times VARNEL_TIME_SCALE where the programs run under
// user-mode emulation (a process start there costs tens of seconds).
#pragma once

#include <windows.h>

#include <cstdlib>

namespace testing_support {

inline DWORD Patience(DWORD ms) {
    char text[16] = {};
    const DWORD length = GetEnvironmentVariableA("VARNEL_TIME_SCALE", text, sizeof text);
    const unsigned long scale = length > 0 && length < sizeof text ? std::strtoul(text, nullptr, 10) : 0;
    return scale > 1 ? ms * scale : ms;
}

}  // namespace testing_support
