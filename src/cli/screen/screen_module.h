// The entry points of pixqv-cli's screen module, looked up by name after the
// module is opened (the module and the program are built together, so they
// share one standard library and pass its types).
#pragma once

#include <string>

#include "base/host.h"

inline constexpr const char* kScreenModuleFile = "pixqv-screen.so";

extern "C" {
using QvScreenProblemFn = void (*)(std::string* out);  // empty when X11 answers
using QvScreenOpenFn = void* (*)();                    // the connection Qt needs
using QvScreenCloseFn = void (*)(void* connection);
using QvScreenGrabFn = void (*)(qv::ScreenPixels* out);
}
