#include "app/host.h"

#include <cstdio>

#include "app/recording_host.h"
#include "formats/save_image.h"
#include "store/image_record.h"

namespace qv {

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

void HeadlessHost::OpenHelp(const std::string& keyword) {
  if (!quiet_) std::fprintf(stderr, "pixqv: help on \"%s\" needs the desktop program\n", keyword.c_str());
}

void HeadlessHost::ShowProgress(const ProgressDisplay&) {}

bool HeadlessHost::EditNewImageDetails(NewImageDetails&) { return true; }

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
