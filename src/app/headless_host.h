// The host of a program without windows (the command-line tool, tests, the
// default of a fresh Program).
#pragma once

#include <array>
#include <string>

#include "base/host.h"

namespace qv {

// Prints to stderr and never blocks. Questions get the answer configured for
// their kind, else the dialog's close result (Cancel: nothing is lost).
class HeadlessHost : public Host {
 public:
  void SetAnswer(MessageKind kind, int result);
  void SetQuiet(bool quiet) { quiet_ = quiet; }
  // Shows the operation's progress as one updating line on stderr.
  void SetProgressLine(bool on) { progressLine_ = on; }
  // Ctrl-C asks running work to stop (as the Stop button does); a second
  // Ctrl-C ends the program.
  void CatchInterrupts();

  int RunMessage(const MessageRequest& request) override;
  void ShowNote(const std::string& text) override;
  void ShowStatusText(const std::string& text) override;
  void OpenHelp(const std::string& keyword) override;
  void ShowProgress(const ProgressDisplay& display) override;
  void PumpEvents() override;
  bool WaitForEvents() override { return false; }
  void SetProgressCursor(int) override {}
  void SetRunningButtons(bool) override {}
  bool IsMainMinimised() override { return false; }
  void SetMainTitle(const std::string&) override {}
  bool EditNewImageDetails(NewImageDetails& details) override;
  void ImageAdded(ImageRecord* image, bool openView) override;
  int SaveImageToOwnFile(ImageRecord* image) override;
  void ShowViewRows(ViewRecord*, std::span<const std::uint8_t>, int, int) override {}
  // Takes the RAW proposal, or the size set here, and says so on stderr.
  bool EditRawImage(RawImageRequest& request) override;
  void SetRawSize(int width, int height) { rawWidth_ = width, rawHeight_ = height; }

 private:
  int rawWidth_ = 0, rawHeight_ = 0;
  std::array<int, kMessageKindCount> answers_{-1, -1, -1, -1, -1};
  bool quiet_ = false;
  bool progressLine_ = false;
  std::string shownLine_;
};

}  // namespace qv
