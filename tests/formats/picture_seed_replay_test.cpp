// The picture fuzzers' seeds through the same bodies in the normal suite
// (so also under the sanitizers): the seeds must decode, or the fuzzers
// start from nothing, and every cut of them must be survived.
#include <filesystem>
#include <functional>

#include "formats/format_test_util.h"
#include "fuzz/picture_fuzz_targets.h"
#include "support/program_fixture.h"

namespace qv::test {
namespace {

namespace fs = std::filesystem;

TEST_F(ProgramTest, PictureFuzzSeedsReplayCleanly) {
  const fs::path seeds = fs::path(QV_SOURCE_DIR) / "tests" / "fuzz" / "seeds";
  using Body = void (*)(const std::uint8_t*, std::size_t);
  using Reader = std::function<ImageRecord*(const std::vector<std::uint8_t>&)>;
  struct Target {
    const char* folder;
    Body body;
    Reader reader;  // null: the seeds only have to be survived
  };
  const Target targets[] = {
      {"iff", fuzz::FuzzIff, [](const auto& b) { return ReadIff(b); }},
      {"ppm", fuzz::FuzzPpm, [](const auto& b) { return ReadPpm(b, "seed"); }},
      {"sgi", fuzz::FuzzSgi, [](const auto& b) { return ReadSgi(b, "seed"); }},
      {"iraw", fuzz::FuzzIRaw, nullptr},
      {"raw", fuzz::FuzzRaw, nullptr},
      {"trim", fuzz::FuzzTrim, nullptr},
  };
  for (const Target& t : targets) {
    int count = 0;
    for (const auto& e : fs::directory_iterator(seeds / t.folder)) {
      auto bytes = FileBytes(e.path());
      if (t.reader) {
        ImageRecord* image = t.reader(bytes);
        EXPECT_NE(image, nullptr) << e.path();
        FreeImage(image);
      }
      for (std::size_t n = 0; n <= bytes.size(); n += 5) t.body(bytes.data(), n);
      t.body(bytes.data(), bytes.size());
      ++count;
    }
    EXPECT_GE(count, 2) << t.folder;
  }
  // The TRIM seeds are whole pictures.
  for (const char* seed : {"rgbt", "mono"}) {
    auto bytes = FileBytes(seeds / "trim" / seed);
    ImageRecord* image = CreateImage(1 + bytes[0] % 48, 1 + bytes[1] % 48, "itst");
    EXPECT_EQ(DecodeTrim(image, std::span(bytes).subspan(3), bytes[2] & 1), 0) << seed;
    FreeImage(image);
  }
}

}  // namespace
}  // namespace qv::test
