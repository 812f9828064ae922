#include "base/progress.h"

#include <cstdio>

#include "base/host.h"
#include "base/messages.h"

namespace qv {
namespace {


int Percent(long long current, long long total) {
  return total > 0 ? static_cast<int>(current * 100 / total) : 0;
}

std::string TitleWithPercent(int percent) {
  char title[64];
  std::snprintf(title, sizeof title, "%s %ld%c", kMainTitle, static_cast<long>(percent), '%');
  return title;
}

// One of eight busy cursors by the eighth of the work done.
int CursorOfPercent(int percent) {
  static constexpr int kFrom[] = {13, 25, 38, 50, 63, 75, 88};
  int index = 0;
  for (int from : kFrom)
    if (percent >= from) ++index;
  return index;
}

void Show() { TheHost().ShowProgress(CurrentProgressDisplay()); }

}  // namespace

ProgressDisplay CurrentProgressDisplay() {
  const ProgressState& s = ProgressStatus();
  ProgressDisplay d;
  d.sequencePercent = Percent(s.sequenceCurrent, s.sequenceTotal);
  d.sequenceText = s.paused ? std::string("PAUSED") : s.sequenceText;
  d.operationPercent = s.lastShown >= 0 ? s.lastShown : 0;
  d.operationText = s.operationTitle;
  return d;
}

void BeginSequence(const std::string& title, int total) {
  ProgressState& s = ProgressStatus();
  s.sequenceTitle = title;
  s.sequenceText = title;
  s.sequenceTotal = total;
  s.sequenceCurrent = 0;
  TheHost().SetRunningButtons(true);
  Show();
}

bool SequenceStep(int current) {
  ProgressState& s = ProgressStatus();
  s.sequenceCurrent = current;
  if (TheHost().IsMainMinimised())
    TheHost().SetMainTitle(TitleWithPercent(Percent(current, s.sequenceTotal)));
  else
    Show();
  return s.stopRequested;
}

void EndSequence() {
  ProgressState& s = ProgressStatus();
  if (TheHost().IsMainMinimised()) TheHost().SetMainTitle(kMainTitle);
  s.stopRequested = false;
  s.sequenceText.clear();
  s.sequenceTitle.clear();
  s.sequenceTotal = 0;
  s.sequenceCurrent = 0;
  TheHost().SetRunningButtons(s.operationTotal > 0);
  Show();
}

void BeginProgress(const std::string& title, int total, int step) {
  ProgressState& s = ProgressStatus();
  TheHost().SetProgressCursor(0);
  if (s.operationTotal > 0) s.enclosing.push_back({s.operationTitle, s.operationTotal, s.operationCurrent});
  s.operationCurrent = 0;
  s.operationTitle = title;
  s.operationTotal = total < 1 ? 1 : total;
  s.step = step < 1 ? 1 : step;
  s.lastShown = 0;
  s.depth += 1;
  TheHost().SetRunningButtons(true);
  Show();
}

int Progress(int current) {
  ProgressState& s = ProgressStatus();
  if (s.operationTotal == 0) return 0;
  s.operationCurrent = current;
  int percent = Percent(current, s.operationTotal);
  TheHost().SetProgressCursor(CursorOfPercent(percent));
  if (s.step > 1) percent -= percent % s.step;
  if (percent != s.lastShown) {
    s.lastShown = percent;
    if (s.sequenceTotal == 0 && TheHost().IsMainMinimised())
      TheHost().SetMainTitle(TitleWithPercent(percent));
    else
      Show();
  }
  if (s.pumping == 0) {
    ++s.pumping;
    TheHost().PumpEvents();
    while (s.paused && TheHost().WaitForEvents()) {
    }
    --s.pumping;
  }
  return s.stopRequested ? 1 : 0;
}

int ProgressNext() { return Progress(ProgressStatus().operationCurrent + 1); }

void SetProgressTotal(int total) {
  ProgressState& s = ProgressStatus();
  if (s.operationTotal > 0) s.operationTotal = total < 1 ? 1 : total;
}

void EndProgress() {
  ProgressState& s = ProgressStatus();
  if (s.depth == 0) return;
  TheHost().SetProgressCursor(-1);
  if (s.sequenceTotal == 0 && TheHost().IsMainMinimised()) TheHost().SetMainTitle(kMainTitle);
  s.lastShown = -1;
  s.depth -= 1;
  if (!s.enclosing.empty()) {
    ProgressState::Level outer = s.enclosing.back();
    s.enclosing.pop_back();
    s.operationTitle = outer.title;
    s.operationTotal = outer.total;
    s.operationCurrent = outer.current;
    s.lastShown = Percent(outer.current, outer.total);
    if (s.step > 1) s.lastShown -= s.lastShown % s.step;
  } else {
    s.operationTitle.clear();
    s.operationTotal = 0;
    s.operationCurrent = 0;
  }
  bool active = s.sequenceTotal > 0 || s.operationTotal > 0;
  if (!active) {
    s.stopRequested = false;
    s.paused = false;
  }
  TheHost().SetRunningButtons(active);
  Show();
}

void RequestStop() {
  ProgressState& s = ProgressStatus();
  if (!IsBusy()) return;
  s.stopRequested = true;
  s.sequenceText = s.sequenceTitle;
  s.paused = false;
  Show();
}

void TogglePause() {
  ProgressState& s = ProgressStatus();
  if (!IsBusy()) return;
  s.paused = !s.paused;
  Show();
}

bool IsBusy() { return ProgressStatus().sequenceTotal > 0 || ProgressStatus().operationTotal > 0; }

bool IsSequenceRunning() { return ProgressStatus().sequenceTotal > 0; }

bool RefuseCloseWhileBusy() {
  if (ProgressStatus().operationTotal == 0) return false;
  ShowMessage(86);
  return true;
}

}  // namespace qv
