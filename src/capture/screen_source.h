// Reading the screen on this platform: X11 through Qt. The functions are
// defined by the grabber library (capture/ui/screen_grabber.cpp), which the
// desktop program and pixqv-cli link and the engine does not: the engine
// gets its pixels through Host::GrabScreen, whose hosts call these.
#pragma once

#include <memory>
#include <string>

#include "base/host.h"

namespace qv {

// Whether an X11 display answers, asked directly of the server: Qt ends the
// process when its platform cannot connect, so a program that starts Qt
// only to capture asks first. Empty when it answers, else why not.
std::string X11DisplayProblem();

// Qt's side of the screen for a program without windows of its own
// (pixqv-cli): made after X11DisplayProblem() came back empty, and kept
// while captures are taken. The desktop program has its application object.
class ScreenConnection {
 public:
  ScreenConnection();
  ~ScreenConnection();
  ScreenConnection(const ScreenConnection&) = delete;
  ScreenConnection& operator=(const ScreenConnection&) = delete;

 private:
  struct Parts;
  std::unique_ptr<Parts> parts_;
};

// The whole primary screen, converted by Qt to 32 bits a pixel, and the
// screen's depth; or the reason there is nothing (a Wayland session gives
// no pixels).
ScreenPixels GrabPrimaryScreen();

}  // namespace qv
