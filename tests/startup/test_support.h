// Turns the runtime error box into an exception the test can catch.
#pragma once

#include <stdexcept>
#include <string>

#include "startup/runtime_error.h"

struct RuntimeErrorRaised : std::runtime_error {
    using std::runtime_error::runtime_error;
};

inline void ThrowRuntimeError(const std::string& text) { throw RuntimeErrorRaised(text); }

// While alive, a runtime error throws instead of showing the box and exiting.
struct CatchRuntimeErrors {
    CatchRuntimeErrors() { varnel::SetRuntimeErrorHandler(ThrowRuntimeError); }
    ~CatchRuntimeErrors() { varnel::SetRuntimeErrorHandler(nullptr); }
};
