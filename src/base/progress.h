// Progress, pause and stop of long work.
//
// Long loops run on the one user-interface thread and report through here:
// the report updates the bars, lets pending window events run, blocks while
// the user has paused, and tells the loop whether the user asked to stop.
// There are two levels: the sequence (frames of a generation or a batch) and
// the operation (one piece of work, which may nest inside another).
#pragma once

#include <string>
#include <vector>

#include "base/host.h"

namespace qv {

inline constexpr const char* kMainTitle = "Pixanta: Q/v";

struct ProgressState {
  std::string sequenceTitle;
  std::string sequenceText;   // the title, or "PAUSED"
  int sequenceTotal = 0;      // 0: no sequence running
  int sequenceCurrent = 0;

  std::string operationTitle;
  int operationTotal = 0;     // 0: idle
  int operationCurrent = 0;
  int step = 1;               // shown percentages are multiples of this
  int lastShown = -1;
  int depth = 0;

  struct Level {
    std::string title;
    int total;
    int current;
  };
  std::vector<Level> enclosing;  // the levels a nested BeginProgress covers

  bool stopRequested = false;
  bool paused = false;
  int pumping = 0;            // a pump running inside a pump must not pump again
};

// The program's one ProgressState (owned by the Program).
ProgressState& ProgressStatus();

void BeginSequence(const std::string& title, int total);
bool SequenceStep(int current);  // the stop flag
void EndSequence();

void BeginProgress(const std::string& title, int total, int step = 1);
int Progress(int current);       // 1 when the user asked to stop, else 0
int ProgressNext();
void SetProgressTotal(int total);
void EndProgress();

void RequestStop();
void TogglePause();
bool IsBusy();
bool IsSequenceRunning();
// Closing a view, an image or the program would free what running work
// still uses: while an operation level is active (window events run inside
// its progress reports) this shows message 86 and returns true.
bool RefuseCloseWhileBusy();

// The progress bars as the status area shows them now.
ProgressDisplay CurrentProgressDisplay();

}  // namespace qv
