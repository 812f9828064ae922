// The fuzzers' seed files run through the same bodies in the normal suite
// (and so under the sanitizers of the engine tests): each bitmap seed must
// also decode, or the fuzzer starts from nothing.
#include <filesystem>

#include "formats/format_test_util.h"
#include "fuzz/fuzz_targets.h"
#include "support/program_fixture.h"

namespace qv::test {
namespace {

namespace fs = std::filesystem;

TEST_F(ProgramTest, FuzzSeedsReplayCleanly) {
  fs::path seeds = fs::path(QV_SOURCE_DIR) / "tests" / "fuzz" / "seeds";
  int bitmaps = 0;
  for (const auto& e : fs::directory_iterator(seeds / "bmp")) {
    auto bytes = FileBytes(e.path());
    ImageRecord* image = ReadBmp(bytes);
    EXPECT_NE(image, nullptr) << e.path();
    FreeImage(image);
    fuzz::FuzzBmp(bytes.data(), bytes.size());
    // Every cut of a seed, as the fuzzer's first mutations would make.
    for (std::size_t n = 0; n < bytes.size(); n += 7) fuzz::FuzzBmp(bytes.data(), n);
    ++bitmaps;
  }
  EXPECT_GE(bitmaps, 10);
  for (const auto& e : fs::directory_iterator(seeds / "recognize")) {
    auto bytes = FileBytes(e.path());
    fuzz::FuzzRecognize(bytes.data(), bytes.size());
  }
}

}  // namespace
}  // namespace qv::test
