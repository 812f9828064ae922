// The area-file, TimeLine, exposure sheet and film strip fuzzers' seeds through the same bodies in the
// normal suite (and so under the sanitizers), whole and cut short as the
// fuzzer's first mutations cut them.
#include <filesystem>
#include <fstream>
#include <iterator>

#include "area/stored_area.h"
#include "fuzz/anim_fuzz_targets.h"
#include "fuzz/animation_fuzz_targets.h"
#include "support/program_fixture.h"

namespace qv {
namespace {

namespace fs = std::filesystem;

int ReplaySeeds(const char* folder, void (*body)(const std::uint8_t*, std::size_t)) {
  int files = 0;
  for (const auto& e : fs::directory_iterator(fs::path(QV_SOURCE_DIR) / "tests" / "fuzz" / "seeds" / folder)) {
    SCOPED_TRACE(e.path().filename().string());
    std::ifstream in(e.path(), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
    for (std::size_t n = 0; n < bytes.size(); n += 5) body(data, n);
    body(data, bytes.size());
    ++files;
  }
  return files;
}

TEST(AnimSeedReplayTest, AreaAndTimeLineSeedsReadWriteAndReadBackTheSame) {
  EXPECT_GE(ReplaySeeds("area_file", fuzz::FuzzAreaFile), 9);
  EXPECT_GE(ReplaySeeds("timeline", fuzz::FuzzTimeLine), 3);
  EXPECT_GE(ReplaySeeds("film", fuzz::FuzzFilm), 2);
  ResetProgram();
}

TEST(AnimSeedReplayTest, SheetSeedsReadWriteAndReadBackTheSame) {
  EXPECT_GE(ReplaySeeds("sheet", fuzz::FuzzSheet), 5);
  // A million outline points in one cell: read whole, once, without a
  // quadratic walk.
  std::string text = "TIMELINE\nFrames:2\nAREA L:1 F:1\n- Mode:Freehand\n";
  for (int i = 0; i < 1000000; ++i) text += "- Point:" + std::to_string(i) + "," + std::to_string(i % 640) + ",7,255\n";
  ResetProgram();
  InstallHost<RecordingHost>();
  ASSERT_EQ(ReadSheetText(text, false), 0);
  ASSERT_TRUE(SheetAreaAt(0, 0));
  EXPECT_EQ(SheetAreaAt(0, 0)->pointCount, 1000000);
  ResetProgram();
}

TEST(AnimSeedReplayTest, FlicAndAviSeedsReadWithoutFault) {
  EXPECT_GE(ReplaySeeds("flic", fuzz::FuzzFlic), 2);
  EXPECT_GE(ReplaySeeds("avi", fuzz::FuzzAvi), 5);
  ResetProgram();
}

}  // namespace
}  // namespace qv
