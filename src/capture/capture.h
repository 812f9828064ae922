// Screen capture: the whole screen, after an optional delay, into a new image
// kept in memory with a view of its own or written to a numbered file.
//
// The pixels come from the host (Host::GrabScreen); the platform timer that
// runs a delayed capture is the desktop program's, reached through hooks.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "base/preferences.h"

namespace qv {

struct ImageRecord;
struct ScreenPixels;

inline constexpr int kCaptureTimerId = 1112;
inline constexpr int kCaptureMaxDelay = 20;        // seconds
inline constexpr long kCaptureMaxCounter = 99999999;  // "%04ld" stays within 8 digits
inline constexpr int kCaptureMaxSide = 32768;

struct CaptureState {
  int imageCounter = 0;  // numbers "Capture_%d", from 0 at start-up
  bool pending = false;  // a delayed capture waits for its timer
  // The platform timer: start (id, milliseconds; false when refused) and
  // stop. A single-shot timer; starting it again replaces the wait.
  std::function<bool(int, int)> startTimer;
  std::function<void(int)> stopTimer;
};

// The program's one CaptureState (owned by the Program).
CaptureState& ScreenCapture();

// One capture's choices. The desktop program fills them from the settings,
// the command line from its arguments.
struct CaptureRequest {
  bool inMemory = true;
  std::string pathAndName;  // "dir/shot"
  std::string extension;    // "bmp" or ".bmp"
  long counter = 1;         // the number the file gets
  int type = 0;             // save type of the file
  int depthEntry = 2;
  int compress = 1;
  int quality = 75;
  bool replace = false;     // an existing file is replaced unasked
};

struct CaptureOutcome {
  int result = 1;           // 0 captured, 1 failed (the user was told), 2 skipped
  ImageRecord* image = nullptr;  // in memory: the new image, in the table
  std::string file;         // to a file: the name it was (or would have been) written under
  long nextCounter = 1;     // the counter after this capture
  int width = 0;
  int height = 0;
  int depth = 0;            // the display's bits per pixel
};

// The settings as the capture uses them: the delay within 0..20 seconds, a
// counter outside 0..99999999 back to 1, a type that is no save type back
// to its default.
int CaptureDelay(int seconds);
long CaptureCounter(long counter);
CaptureRequest CaptureRequestFromSettings();

// Turns the host's rows into the image's pixels: red, green and blue from
// the blue, green, red bytes, alpha opaque. The image is locked and of the
// screen's size.
void ConvertScreenRows(const ScreenPixels& screen, ImageRecord& image);

// Takes the screen and delivers it as the request says. "Capture" shows in
// the progress display while it runs.
CaptureOutcome CaptureScreen(const CaptureRequest& request);
// The desktop's capture: from the settings, the counter kept in them.
int CaptureFromSettings();

// "Capture &Now": at once with a delay of 0, else the pending flag is set
// and timer 1112 started for delay x 1000 ms (message 77 when refused).
int CaptureNow();
// Timer 1112 ticked: when a capture is pending the timer stops, the flag
// clears and the capture runs.
int CaptureTimerTick();
// Shut-down: no capture is left waiting.
void CancelPendingCapture();

// The "Screen Capture Control" dialog's fields, as it opens and as OK or
// "Capture &Now" hand them back.
struct CaptureDialogFields {
  int delay = 2;
  bool inMemory = true;
  std::string pathAndName;
  std::string extension;
  long counter = 1;
  OutputChoices choices;  // type, depth entry, compression, quality
};
CaptureDialogFields CaptureDialogStart();
// Stores the fields in the settings: the extension gets its leading ".",
// the delay and the counter are brought within range.
void TakeCaptureDialog(const CaptureDialogFields& fields);

}  // namespace qv
