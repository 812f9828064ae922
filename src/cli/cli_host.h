// The host of the commands that read and write files: headless, but it keeps
// the program's messages and notes so that a failure's one line on stderr
// can say why, and passes the others on as warnings.
#pragma once

#include <string>
#include <vector>

#include "app/headless_host.h"

namespace qv::cli {

class CliHost : public HeadlessHost {
 public:
  // progress: show the operation's progress as one updating line.
  CliHost(std::string command, bool progress) : command_(std::move(command)), progress_(progress) {}

  int RunMessage(const MessageRequest& request) override;
  void ShowNote(const std::string& text) override;
  void ShowProgress(const ProgressDisplay& display) override;
  // "Select Video Frame" answered with videoFrame (from 0); a frame past the
  // file's last is refused, and framesOffered keeps how many there were.
  long ChooseVideoFrame(const VideoFrameRequest& request) override;
  long videoFrame = 0;
  long framesOffered = 0;

  // Prints every kept message but the last as a warning ("pixqv-cli CMD:
  // ..."); the last is returned when keepLast, else printed too.
  std::string Flush(bool keepLast);

 private:
  void FinishLine();

  std::string command_;
  bool progress_ = false;
  std::vector<std::string> messages_;
  std::string shown_;
  bool dirty_ = false;
};

// The one way out of a command: the reason on stderr, then the exit code
// (kExitFailure for files that could not be read or written, kExitUsage for
// bad arguments).
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;
int Exit(const char* command, int code, const std::string& why);

}  // namespace qv::cli
