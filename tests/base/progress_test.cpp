#include "base/progress.h"

#include <gtest/gtest.h>

#include <csignal>

#include "support/program_fixture.h"

namespace qv {
namespace {

class ProgressTest : public test::ProgramTest {
 protected:
  std::vector<int> ShownOperationPercents() const {
    std::vector<int> shown;
    for (const auto& d : host->progress)
      if (shown.empty() || shown.back() != d.operationPercent) shown.push_back(d.operationPercent);
    return shown;
  }
};

TEST_F(ProgressTest, StepRoundsTheShownPercentageDown) {
  BeginProgress("Contrast", 7, 10);
  for (int i = 0; i <= 7; ++i) EXPECT_EQ(Progress(i), 0);
  EXPECT_EQ(ShownOperationPercents(), (std::vector<int>{0, 10, 20, 40, 50, 70, 80, 100}));
  // The cursor follows the unrounded percentage by eighths: 14% is the second.
  EXPECT_EQ(host->cursors, (std::vector<int>{0, 0, 1, 2, 3, 4, 5, 6, 7}));
  EndProgress();
  EXPECT_EQ(host->cursors.back(), -1);
  EXPECT_FALSE(IsBusy());
  EXPECT_EQ(Progress(3), 0);  // idle: nothing shown
}

TEST_F(ProgressTest, NestedLevelRestoresTheOuterTitleAndPercentage) {
  BeginProgress("Outer", 4);
  Progress(2);
  BeginProgress("Inner", 10);
  Progress(9);
  EXPECT_EQ(CurrentProgressDisplay().operationText, "Inner");
  EXPECT_EQ(CurrentProgressDisplay().operationPercent, 90);
  EndProgress();
  EXPECT_EQ(CurrentProgressDisplay().operationText, "Outer");
  EXPECT_EQ(CurrentProgressDisplay().operationPercent, 50);
  EXPECT_TRUE(IsBusy());
  EXPECT_EQ(ProgressNext(), 0);
  EXPECT_EQ(CurrentProgressDisplay().operationPercent, 75);
  EndProgress();
  EXPECT_EQ(CurrentProgressDisplay().operationText, "");
  EXPECT_FALSE(IsBusy());
  EXPECT_EQ(host->buttonsRunning.back(), false);
  EndProgress();  // unmatched: ignored
  EXPECT_EQ(TheProgram().progress.depth, 0);
}

TEST_F(ProgressTest, StopWhilePausedEndsThePauseAndIsSeenAtTheNextReport) {
  BeginSequence("Generating", 10);
  BeginProgress("Frame 1", 100);
  TogglePause();
  EXPECT_EQ(CurrentProgressDisplay().sequenceText, "PAUSED");
  // While paused, Progress blocks in the event loop; the user clicks Stop.
  host->onWait = [] { RequestStop(); };
  EXPECT_EQ(Progress(10), 1);
  EXPECT_EQ(host->waits, 1);
  EXPECT_FALSE(TheProgram().progress.paused);
  EXPECT_EQ(CurrentProgressDisplay().sequenceText, "Generating");
  EndProgress();
  EXPECT_TRUE(SequenceStep(1));  // the stop survives until the outermost level ends
  EndSequence();
  EXPECT_FALSE(IsBusy());
  BeginProgress("Next", 5);
  EXPECT_EQ(Progress(1), 0);
  EndProgress();
}

TEST_F(ProgressTest, PumpingDoesNotReenterAndHeadlessPauseNeverHangs) {
  BeginProgress("Work", 10);
  int nested = -1;
  host->onPump = [&] { nested = Progress(5); };  // a handler that reports progress itself
  Progress(1);
  EXPECT_EQ(nested, 0);
  EXPECT_EQ(host->pumps, 1);
  host->onPump = nullptr;
  EndProgress();

  InstallHost<HeadlessHost>();
  BeginProgress("Work", 10);
  TogglePause();
  EXPECT_EQ(Progress(1), 0);  // no window could end the pause: go on
  EndProgress();
}

TEST_F(ProgressTest, MinimisedWindowShowsThePercentageInItsTitle) {
  host->minimised = true;
  BeginProgress("Blur", 4);
  Progress(1);
  EXPECT_EQ(host->titles.back(), "Pixanta: Q/v 25%");
  EndProgress();
  EXPECT_EQ(host->titles.back(), "Pixanta: Q/v");

  BeginSequence("Frames", 3);
  SequenceStep(2);
  EXPECT_EQ(host->titles.back(), "Pixanta: Q/v 66%");
  BeginProgress("Frame", 2);
  std::size_t titles = host->titles.size();
  Progress(1);  // a sequence is running: its percentage keeps the title
  EXPECT_EQ(host->titles.size(), titles);
  EndProgress();
  EndSequence();
  EXPECT_EQ(host->titles.back(), "Pixanta: Q/v");
}

TEST_F(ProgressTest, HeadlessCtrlCStopsTheRunningWorkOnly) {
  auto& headless = InstallHost<HeadlessHost>();
  headless.SetQuiet(true);
  headless.CatchInterrupts();
  std::raise(SIGINT);  // before any work: kept until there is work to stop
  BeginProgress("Blur", 10);
  EXPECT_EQ(Progress(1), 1);
  EndProgress();
  BeginProgress("Next", 10);
  EXPECT_EQ(Progress(1), 0);  // one Ctrl-C stops one piece of work
  EndProgress();
  std::signal(SIGINT, SIG_DFL);
}

}  // namespace
}  // namespace qv
