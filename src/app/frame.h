// Start-up, shut-down, the command line and the general file opener.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

namespace qv {

struct FrameState {
  std::filesystem::path installDir;
  bool iconic = false;          // "/icon": start minimised, never maximised
  bool exiting = false;         // ShutDown is running or has run
  bool quitRequested = false;   // ShutDown finished: the host ends the program
  bool started = false;
  int batchResult = 0;          // "/e:": 0 the frame was written, 1 it was not
};

// The program's one FrameState (owned by the Program).
FrameState& Frame();

inline constexpr int kMaxCommandLineWords = 19;

// Whether the first command-line word asks for a minimised start.
bool IsIconWord(const std::string& word);
// Whether the words hold a batch frame ("/e:...") and "/close": the program
// then runs without windows.
bool IsHeadlessBatch(const std::vector<std::string>& words);

// Everything of start-up that is not a window: tables, palettes, settings,
// the log. 0 on failure (the program ends), 1 when started.
int StartUp();

// Words 1 to 19 of the command line: file names go to the general opener,
// "/close" shuts down, "/e:timeline,frame,output" runs a TimeLine frame.
void ProcessCommandLine(const std::vector<std::string>& words);

// 0 done (quitRequested is set), 1 the user cancelled or an operation is
// running (message 86).
int ShutDown();

// The general opener: film strips, projects and images by their first bytes.
// 0 opened, 1 failed (the user has been told).
int OpenFile(const std::string& path);

}  // namespace qv
