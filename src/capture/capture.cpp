#include "capture/capture.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "anim/sequence.h"
#include "base/fixed_text.h"
#include "base/host.h"
#include "base/messages.h"
#include "base/progress.h"
#include "formats/save_choices.h"
#include "store/image_record.h"

namespace qv {
namespace {

constexpr int kMessageNoTimer = 77;
constexpr int kMessageOutputExists = 91;
constexpr int kMessageNoMemory = 7;  // "not enough memory" for a new image
constexpr const char* kCaptureTitle = "Capture";
constexpr int kDefaultCaptureType = 9;
constexpr int kBusyRetryMillis = 500;
// The resolution a screen bitmap is read with, pixels per metre both ways;
// the image keeps it over 37 as its dots per inch.
constexpr int kPixelsPerMetre = 2000;
constexpr int kMetreToInch = 37;

// Why the host's rows cannot be used, or empty when they can.
std::string Unusable(const ScreenPixels& s) {
  if (!s.reason.empty()) return s.reason;
  if (s.width <= 0 || s.height <= 0) return "the screen has no size";
  if (s.width > kCaptureMaxSide || s.height > kCaptureMaxSide)
    return "a screen of " + std::to_string(s.width) + " x " + std::to_string(s.height) + " is larger than " +
           std::to_string(kCaptureMaxSide) + " pixels a side";
  // Sides within 32768 keep these products far inside 64 bits.
  const std::uint64_t row = std::uint64_t{4} * static_cast<std::uint64_t>(s.width);
  const std::uint64_t need = static_cast<std::uint64_t>(s.stride) * static_cast<std::uint64_t>(s.height - 1) + row;
  if (s.stride < row || s.bytes.size() < need)
    return "the screen's rows are shorter than its size (" + std::to_string(s.bytes.size()) + " bytes)";
  return {};
}

}  // namespace

int CaptureDelay(int seconds) { return std::clamp(seconds, 0, kCaptureMaxDelay); }

long CaptureCounter(long counter) { return counter < 0 || counter > kCaptureMaxCounter ? 1 : counter; }

CaptureRequest CaptureRequestFromSettings() {
  const Settings& s = Prefs();
  CaptureRequest r;
  r.inMemory = s.capMem != 0;
  SplitOutputPath(s.capFile, r.pathAndName, r.extension);
  r.counter = CaptureCounter(s.capCounter);
  r.type = s.cap.type >= 0 && s.cap.type < kSaveTypeCount ? s.cap.type : kDefaultCaptureType;
  r.depthEntry = PreselectedDepth(r.type, s.cap.depth);
  r.compress = s.cap.compress;
  r.quality = std::clamp(s.cap.quality, 0, 100);
  return r;
}

void ConvertScreenRows(const ScreenPixels& screen, ImageRecord& image) {
  const int width = screen.width;
  const std::uint8_t* from = screen.bytes.data();
  for (int y = 0; y < screen.height; ++y, from += screen.stride) {
    const std::uint8_t* in = from;
    std::uint8_t* out = PixelAt(&image, 0, y);
    if constexpr (std::endian::native == std::endian::little) {
      // Whole pixels at a time: blue and red trade places, alpha goes opaque.
      for (int x = 0; x < width; ++x, in += 4, out += 4) {
        std::uint32_t v;
        std::memcpy(&v, in, 4);
        v = 0xFF000000u | ((v & 0xFFu) << 16) | (v & 0xFF00u) | ((v >> 16) & 0xFFu);
        std::memcpy(out, &v, 4);
      }
    } else {
      for (int x = 0; x < width; ++x, in += 4, out += 4) {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
        out[3] = 255;
      }
    }
  }
}

CaptureOutcome CaptureScreen(const CaptureRequest& request) {
  CaptureOutcome outcome;
  outcome.nextCounter = CaptureCounter(request.counter);
  BeginProgress(kCaptureTitle, 2);
  // A scope guard: every way out ends the progress display.
  struct End {
    ~End() { EndProgress(); }
  } end;

  ScreenPixels screen = TheHost().GrabScreen();
  if (const std::string why = Unusable(screen); !why.empty()) {
    LogLine("Capture failed: %s\n", why.c_str());
    ShowNote("Could not capture the screen", why);
    return outcome;
  }
  outcome.width = screen.width;
  outcome.height = screen.height;
  outcome.depth = screen.depth;
  LogLine("Captured %d x %d \n", screen.width, screen.height);
  ImageRecord* image = CreateImageToFill(screen.width, screen.height, kCaptureTitle);
  if (!image || LockImage(image) != 0) {
    if (image) FreeImage(image);
    ShowMessage(kMessageNoMemory);
    return outcome;
  }
  LogLine("Captured %d x %d \n", screen.width, screen.height);
  ConvertScreenRows(screen, *image);
  UnlockImage(image);
  screen = {};  // the copy of the screen is not needed past this point
  (void)Progress(1);

  char name[32];
  std::snprintf(name, sizeof name, "Capture_%d", ++ScreenCapture().imageCounter);
  CopyText(image->name, name);
  image->dpiXNum = image->dpiYNum = kPixelsPerMetre;
  image->dpiXDen = image->dpiYDen = kMetreToInch;
  image->bitDepth = static_cast<std::uint16_t>(std::clamp(outcome.depth, 1, 32));

  if (request.inMemory) {
    if (AddImage(image, true) != 0) {
      FreeImage(image);
      ShowMessage(kMessageNoMemory);
      return outcome;
    }
    outcome.image = image;
    outcome.result = 0;
    return outcome;
  }

  const long counter = outcome.nextCounter;
  // The counter goes on past a refused replacement: that number is used up.
  outcome.nextCounter = counter >= kCaptureMaxCounter ? 1 : counter + 1;
  outcome.file = OutputFileName(request.pathAndName, request.extension, 0, counter, request.type);
  if (outcome.file.empty()) {
    FreeImage(image);
    ShowNote("Could not capture the screen", "an output name holding \"*\" cannot be numbered");
    return outcome;
  }
  std::error_code ec;
  if (!request.replace && std::filesystem::exists(outcome.file, ec) &&
      AskReplace(kMessageOutputExists, outcome.file) == 0) {
    FreeImage(image);
    outcome.result = 2;
    return outcome;
  }
  // SaveFrame writes beside the target and renames, so a failed save leaves
  // no partial file; the image is freed either way.
  const int saved =
      SaveFrame(image, outcome.file, request.type, request.depthEntry, request.compress, request.quality);
  FreeImage(image);
  (void)Progress(2);
  outcome.result = saved == 0 ? 0 : 1;
  return outcome;
}

int CaptureFromSettings() {
  const CaptureOutcome outcome = CaptureScreen(CaptureRequestFromSettings());
  if (!Prefs().capMem) Prefs().capCounter = static_cast<int>(outcome.nextCounter);
  return outcome.result;
}

int CaptureNow() {
  CaptureState& c = ScreenCapture();
  const int delay = CaptureDelay(Prefs().capDelay);
  if (delay == 0) {
    CancelPendingCapture();
    return CaptureFromSettings();
  }
  c.pending = true;
  if (!c.startTimer || !c.startTimer(kCaptureTimerId, delay * 1000)) {
    c.pending = false;
    ShowMessage(kMessageNoTimer);
    return 1;
  }
  return 0;
}

int CaptureTimerTick() {
  CaptureState& c = ScreenCapture();
  if (!c.pending) return 0;
  if (c.stopTimer) c.stopTimer(kCaptureTimerId);
  // The tick can arrive while an operation pumps events; the capture waits
  // for it rather than add an image under its feet.
  if (IsBusy() && c.startTimer && c.startTimer(kCaptureTimerId, kBusyRetryMillis)) return 0;
  c.pending = false;
  return CaptureFromSettings();
}

void CancelPendingCapture() {
  CaptureState& c = ScreenCapture();
  if (c.stopTimer) c.stopTimer(kCaptureTimerId);
  c.pending = false;
}

CaptureDialogFields CaptureDialogStart() {
  const Settings& s = Prefs();
  CaptureDialogFields f;
  f.delay = CaptureDelay(s.capDelay);
  f.inMemory = s.capMem != 0;
  SplitOutputPath(s.capFile, f.pathAndName, f.extension);
  f.extension = DottedExtension(f.extension);
  f.counter = CaptureCounter(s.capCounter);
  f.choices = s.cap;
  if (f.choices.type < 0 || f.choices.type >= kSaveTypeCount) f.choices.type = kDefaultCaptureType;
  f.choices.quality = std::clamp(f.choices.quality, 0, 100);
  return f;
}

void TakeCaptureDialog(const CaptureDialogFields& f) {
  Settings& s = Prefs();
  s.capDelay = CaptureDelay(f.delay);
  s.capMem = f.inMemory ? 1 : 0;
  s.capFile = f.pathAndName + DottedExtension(f.extension);
  s.capCounter = static_cast<int>(CaptureCounter(f.counter));
  s.cap = f.choices;
  s.cap.quality = std::clamp(s.cap.quality, 0, 100);
}

}  // namespace qv
