// The area-file, TimeLine and film strip fuzzers' seeds through the same bodies in the
// normal suite (and so under the sanitizers), whole and cut short as the
// fuzzer's first mutations cut them.
#include <filesystem>
#include <fstream>
#include <iterator>

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

TEST(AnimSeedReplayTest, FlicAndAviSeedsReadWithoutFault) {
  EXPECT_GE(ReplaySeeds("flic", fuzz::FuzzFlic), 2);
  EXPECT_GE(ReplaySeeds("avi", fuzz::FuzzAvi), 5);
  ResetProgram();
}

}  // namespace
}  // namespace qv
