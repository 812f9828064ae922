#include "app/headless_host.h"

#include <algorithm>
#include <csignal>
#include <cstdio>

#include "app/recording_host.h"
#include "base/progress.h"
#include "formats/save_image.h"
#include "store/image_record.h"

namespace qv {
namespace {

// Set by the SIGINT handler, read by the event pump. A signal handler can
// touch nothing else, so this is the one flag outside the Program.
volatile std::sig_atomic_t interrupted = 0;

extern "C" void OnInterrupt(int) {
  if (interrupted) {
    std::signal(SIGINT, SIG_DFL);
    std::raise(SIGINT);
    return;
  }
  interrupted = 1;
}

}  // namespace

void HeadlessHost::CatchInterrupts() {
  interrupted = 0;
  std::signal(SIGINT, OnInterrupt);
}

void HeadlessHost::PumpEvents() {
  if (!interrupted) return;
  if (IsBusy()) {
    RequestStop();
    interrupted = 0;  // the next Ctrl-C stops the next piece of work
  }
}

void HeadlessHost::SetAnswer(MessageKind kind, int result) {
  answers_[static_cast<int>(kind)] = result;
}

int HeadlessHost::RunMessage(const MessageRequest& r) {
  if (!quiet_) {
    std::fprintf(stderr, "pixqv: %s: %s", r.title.c_str(), r.text.c_str());
    if (!r.extra.empty()) std::fprintf(stderr, " (%s)", r.extra.c_str());
    std::fputc('\n', stderr);
  }
  int configured = answers_[static_cast<int>(r.kind)];
  return configured >= 0 ? configured : r.closeResult;
}

void HeadlessHost::ShowNote(const std::string& text) {
  if (!quiet_) std::fprintf(stderr, "pixqv: Note! %s\n", text.c_str());
}

// Without a window only the engine's remarks come here: said on stderr.
void HeadlessHost::ShowStatusText(const std::string& text) {
  if (!quiet_ && !text.empty()) std::fprintf(stderr, "pixqv: %s\n", text.c_str());
}

void HeadlessHost::OpenHelp(const std::string& keyword) {
  if (!quiet_) std::fprintf(stderr, "pixqv: help on \"%s\" needs the desktop program\n", keyword.c_str());
}

void HeadlessHost::ShowProgress(const ProgressDisplay& display) {
  if (!progressLine_ || quiet_) return;
  std::string line;
  if (!display.operationText.empty()) {
    char percent[16];
    std::snprintf(percent, sizeof percent, " %3d%%", display.operationPercent);
    line = display.operationText + percent;
    if (!display.sequenceText.empty()) line = display.sequenceText + ": " + line;
  }
  if (line == shownLine_) return;
  // Blank out what a longer earlier line left behind.
  std::size_t width = std::max(line.size(), shownLine_.size());
  std::fprintf(stderr, "\r%-*s\r%s", static_cast<int>(width), "", line.c_str());
  std::fflush(stderr);
  shownLine_ = line;
}

bool HeadlessHost::EditNewImageDetails(NewImageDetails&) { return true; }

bool HeadlessHost::EditRawImage(RawImageRequest& r) {
  static const char* const kLayouts[] = {"gray", "rgb", "planes", "files"};
  const bool proposed = rawWidth_ < 1 || rawHeight_ < 1;
  if (!proposed) r.width = rawWidth_, r.height = rawHeight_;
  if (proposed && !quiet_)
    std::fprintf(stderr, "pixqv: Raw Image Load: %s taken as %d x %d, %s, from byte %lld (the proposal)\n",
                 r.fileName.c_str(), r.width, r.height, kLayouts[r.layout & 3], static_cast<long long>(r.start));
  return true;
}

void HeadlessHost::ImageAdded(ImageRecord*, bool) {}

// An image without a file of its own would need the save dialog, which a
// headless host cancels: the close stops and nothing is lost.
int HeadlessHost::SaveImageToOwnFile(ImageRecord* image) { return SaveToOwnFile(image); }

int RecordingHost::SaveImageToOwnFile(ImageRecord* image) {
  saved.push_back(image);
  if (saveResult == 0 && clearChangedOnSave && image) image->changed = 0;
  return saveResult;
}

}  // namespace qv
