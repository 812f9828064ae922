#include "cli/cli_host.h"

#include <cstdio>

namespace qv::cli {

int CliHost::RunMessage(const MessageRequest& request) {
  std::string text = request.text;
  if (!request.extra.empty()) text += " (" + request.extra + ")";
  messages_.push_back(text);
  SetQuiet(true);
  int result = HeadlessHost::RunMessage(request);
  SetQuiet(false);
  return result;
}

// A note's second line (what in the file was refused) stays on the line.
void CliHost::ShowNote(const std::string& text) {
  auto at = text.find('\n');
  std::string line = at == std::string::npos ? text : text.substr(0, at) + " (" + text.substr(at + 1) + ")";
  for (auto& c : line)
    if (c == '\n') c = ' ';
  messages_.push_back(line);
}

void CliHost::ShowProgress(const ProgressDisplay& d) {
  if (!progress_ || d.operationText.empty()) return;
  const std::string line = d.operationText + " " + std::to_string(d.operationPercent) + "%";
  if (line == shown_) return;
  shown_ = line;
  std::fprintf(stderr, "\r%-40s", line.c_str());
  dirty_ = true;
}

long CliHost::ChooseVideoFrame(const VideoFrameRequest& request) {
  framesOffered = request.frames;
  return videoFrame < request.frames ? videoFrame : -1;
}

void CliHost::FinishLine() {
  if (dirty_) std::fputc('\n', stderr);
  dirty_ = false;
}

std::string CliHost::Flush(bool keepLast) {
  FinishLine();
  std::string last;
  if (keepLast && !messages_.empty()) {
    last = messages_.back();
    messages_.pop_back();
  }
  for (const auto& m : messages_) std::fprintf(stderr, "pixqv-cli %s: %s\n", command_.c_str(), m.c_str());
  messages_.clear();
  return last;
}

int Exit(const char* command, int code, const std::string& why) {
  std::fprintf(stderr, "pixqv-cli %s: %s\n", command, why.c_str());
  return code;
}

}  // namespace qv::cli
