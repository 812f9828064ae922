// The screen grabber as a module that pixqv-cli opens only to capture: Qt and
// its dozens of libraries would otherwise be loaded and relocated at the
// start of every command, which costs more than a small convert does.
#include "capture/screen_source.h"
#include "cli/screen/screen_module.h"

extern "C" {

void QvScreenProblem(std::string* out) { *out = qv::X11DisplayProblem(); }
void* QvScreenOpen() { return new qv::ScreenConnection(); }
void QvScreenClose(void* connection) { delete static_cast<qv::ScreenConnection*>(connection); }
void QvScreenGrab(qv::ScreenPixels* out) { *out = qv::GrabPrimaryScreen(); }

}  // extern "C"
