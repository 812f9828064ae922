// Running the outside peers (ffmpeg, ffprobe) from a test: whether they are
// installed, and what a command prints.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>

namespace qv::test {

inline bool HaveFfmpeg() {
  return std::system("command -v ffmpeg >/dev/null 2>&1 && command -v ffprobe >/dev/null 2>&1") == 0;
}

inline std::string Capture(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    pclose(p);
  }
  return out;
}

}  // namespace qv::test
