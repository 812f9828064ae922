// The Targa, GIF and PCX fuzzers' seeds through the same bodies in the
// normal suite (and so under the sanitizers): each seed decodes, and every
// cut of it is survived.
#include <filesystem>

#include "formats/format_test_util.h"
#include "fuzz/still_fuzz_targets.h"
#include "support/program_fixture.h"

namespace qv::test {
namespace {

namespace fs = std::filesystem;

TEST_F(ProgramTest, StillFormatSeedsReplayCleanly) {
  const fs::path seeds = fs::path(QV_SOURCE_DIR) / "tests" / "fuzz" / "seeds";
  struct Reader {
    const char* folder;
    ImageRecord* (*read)(std::span<const std::uint8_t>);
    void (*fuzz)(const std::uint8_t*, std::size_t);
  } readers[] = {{"targa", ReadTarga, fuzz::FuzzTarga}, {"gif", ReadGif, fuzz::FuzzGif}, {"pcx", ReadPcx, fuzz::FuzzPcx}};
  for (const auto& r : readers) {
    int files = 0;
    for (const auto& e : fs::directory_iterator(seeds / r.folder)) {
      auto bytes = FileBytes(e.path());
      ImageRecord* image = r.read(bytes);
      EXPECT_NE(image, nullptr) << e.path();
      FreeImage(image);
      for (std::size_t n = 0; n <= bytes.size(); n += 3) r.fuzz(bytes.data(), n);
      ++files;
    }
    EXPECT_GE(files, 4) << r.folder;
  }
  TargaThumbnail thumb;
  ASSERT_TRUE(ReadTargaStamp(FileBytes(seeds / "targa" / "v2.tga"), thumb));
  EXPECT_EQ(thumb.width, 32);
  EXPECT_EQ(thumb.height, 32) << "a 4 x 4 stamp fills 36 x 32 keeping its shape";
}

}  // namespace
}  // namespace qv::test
