// Distortion and Transition through the link, against the real companion on
// a private socket (skipped where the companion is not built).
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "anim/zelvane_link.h"
#include "ops/apply_test_support.h"

namespace qv::test {
namespace {

constexpr OpId kDistortion = 3199, kTransition = 3198;

class ZelvaneLinkTest : public ApplyTest {
 protected:
  void SetUp() override {
    ApplyTest::SetUp();
#ifndef QV_ZELVANE_PROGRAM
    GTEST_SKIP() << "the zelvane companion is not built here";
#else
    socket = (workDir / "z.sock").string();
    trace = workDir / "trace.txt";
    setenv("PIXQV_ZELVANE_SOCKET", socket.c_str(), 1);
    // Nothing may be started in its place should it be missing.
    setenv("PIXQV_ZELVANE", "/nonexistent/zelvane", 1);
    companion = fork();
    if (companion == 0) {
      unsetenv("DISPLAY");
      unsetenv("WAYLAND_DISPLAY");
      unsetenv("QT_QPA_PLATFORM");
      execl(QV_ZELVANE_PROGRAM, "zelvane", "--socket", socket.c_str(), "--trace", trace.c_str(),
            static_cast<char*>(nullptr));
      _exit(127);
    }
    for (int i = 0; i < 100 && !std::filesystem::exists(socket + ".pid"); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(std::filesystem::exists(socket + ".pid")) << "the companion did not start";
#endif
  }
  void TearDown() override {
    if (companion > 0) {
      kill(companion, SIGKILL);
      waitpid(companion, nullptr, 0);
    }
    unsetenv("PIXQV_ZELVANE_SOCKET");
    unsetenv("PIXQV_ZELVANE");
    ApplyTest::TearDown();
  }

  std::string PointFile(const std::string& pairs) {
    const auto path = workDir / "p.zpt";
    std::ofstream(path) << "ZPOINTS 1\n" << pairs;
    return path.string();
  }
  std::vector<std::string> TraceLines() {
    std::ifstream in(trace);
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
  }
  void Frame(OpId op, int n, int m) {
    SetParamValue(op, 0, n);
    SetParamValue(op, 1, m);
  }

  std::string socket;
  std::filesystem::path trace;
  pid_t companion = -1;
};

TEST_F(ZelvaneLinkTest, DistortionSendsRowsAndTakesBackAShiftedFrame) {
  ImageRecord* small = Add(2, 2, [](int x, int y) { return std::array<int, 4>{x * 100, y * 100, 7, 255}; });
  const auto before = Pixels(small);
  Ops().distortionPointFile = PointFile("");
  SelectEntireImage();
  ASSERT_EQ(Run(kDistortion), 0);
  EXPECT_EQ(Pixels(small), before);
  const std::vector<std::string> expected = {
      "C 11 Zelvane Qv -> A", "P 20 ImageS 2,2,,200,200 -> A", "P 22 LineS 0 -> A", "P 22 LineS 1 -> A",
      "P 6 DrawS -> A", "P 12 Distort YES -> A", "P " + std::to_string(Ops().distortionPointFile.size() + 10) +
      " Points \"" + Ops().distortionPointFile + "\" -> A", "P 12 Distort YES -> A", "P 13 DoFrame 1,30 -> A",
      "R 9 Result 0 -> A", "R 9 Result 1 -> A", "D 0  -> A"};
  EXPECT_EQ(TraceLines(), expected);

  // One pair moved 3 px right: at the last frame the picture has moved with
  // it, every row, though only one pixel was selected.
  ImageRecord* wide = Add(8, 3, [](int x, int y) { return std::array<int, 4>{x * 30, y * 60, 9, 255}; });
  Ops().distortionPointFile = PointFile("2 1 5 1\n");
  Frame(kDistortion, 30, 30);
  SelectRect(4, 1, 4, 1);
  ASSERT_EQ(Run(kDistortion), 0);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 8; ++x) EXPECT_EQ(At(wide, x, y)[0], std::max(x - 3, 0) * 30) << x << "," << y;
}

TEST_F(ZelvaneLinkTest, TransitionWithoutPairsRunsFromStartToEndThroughTheRoundedMean) {
  ImageRecord* end = Add(3, 2, [](int x, int) { return std::array<int, 4>{200, 11, x, 255}; });
  ImageRecord* start = Add(3, 2, [](int x, int) { return std::array<int, 4>{0, 0, x, 0}; });
  Pipeline().source = end;
  Ops().transitionPointFile = PointFile("# none\n");
  const auto s = Pixels(start), e = Pixels(end);
  SelectEntireImage();
  Frame(kTransition, 1, 3);
  ASSERT_EQ(Run(kTransition), 0);
  EXPECT_EQ(Pixels(start), s);
  Frame(kTransition, 2, 3);
  ASSERT_EQ(Run(kTransition), 0);
  EXPECT_EQ(At(start, 0, 0), (std::array<int, 4>{100, 6, 0, 128}));  // 11/2 and 255/2 round up
  Frame(kTransition, 3, 3);
  ASSERT_EQ(Run(kTransition), 0);
  EXPECT_EQ(Pixels(start), e);
}

TEST_F(ZelvaneLinkTest, EditInZelvaneSendsTheImagesAndFront) {
  Add(2, 1, [](int, int) { return std::array<int, 4>{1, 2, 3, 4}; });
  ASSERT_EQ(EditInZelvane(PointFile(""), 2), 0);
  const auto lines = TraceLines();
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[lines.size() - 3], "P 11 Distort NO -> A");
  EXPECT_EQ(lines[lines.size() - 2], "P 6 Front -> A");
}

TEST_F(ZelvaneLinkTest, ACompanionKilledMidTransferLeavesTheImageAsItWas) {
  ImageRecord* image = Add(4, 64, [](int x, int y) { return std::array<int, 4>{x, y, 3, 255}; });
  const auto before = Pixels(image);
  Ops().distortionPointFile = PointFile("");
  int pumps = 0;
  host->onPump = [&] {
    if (++pumps == 20) {
      kill(companion, SIGKILL);
      waitpid(companion, nullptr, 0);
      companion = -1;
    }
  };
  SelectEntireImage();
  EXPECT_NE(Run(kDistortion), 0);
  EXPECT_EQ(host->MessageNumbers(), std::vector<int>{kMessageCannotTalkToZelvane});
  EXPECT_EQ(Pixels(image), before);
}

TEST_F(ZelvaneLinkTest, APictureTooTallToNumberIsRefusedBeforeConnecting) {
  ImageRecord* tall = Add(1, 100001, [](int, int) { return std::array<int, 4>{5, 5, 5, 255}; });
  Ops().distortionPointFile = PointFile("");
  SelectEntireImage();
  EXPECT_NE(Run(kDistortion), 0);
  EXPECT_EQ(host->MessageNumbers(), std::vector<int>{kMessageCannotTalkToZelvane});
  EXPECT_TRUE(TraceLines().empty());
  EXPECT_EQ(At(tall, 0, 100000)[0], 5);
}

}  // namespace
}  // namespace qv::test
