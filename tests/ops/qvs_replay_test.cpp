// Runs the fuzzer's seed files through the op-settings reader in the normal
// suite: whatever a file says, every live value stays where a trend could
// have put it and every profile within its range.
#include <filesystem>
#include <fstream>
#include <iterator>

#include "ops/op_state.h"
#include "ops/qvs_file.h"
#include "support/program_fixture.h"

namespace qv {
namespace {

class QvsReplayTest : public test::ProgramTest {};

TEST_F(QvsReplayTest, SeedFilesLeaveEveryValueInRange) {
  // From the source folder: a compiler cache may have made __FILE__ relative.
  const auto seeds = std::filesystem::path(QV_SOURCE_DIR) / "tests" / "fuzz" / "seeds" / "qvs";
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(seeds)) {
    SCOPED_TRACE(entry.path().filename().string());
    std::ifstream in(entry.path(), std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ReadOpSettingsText(text);
    ++files;
    for (const OpEntry& e : Catalogue())
      for (int k = 0; k < LabelledSlotCount(e); ++k) {
        std::int32_t v = ParamValue(e.id, k);
        const ParamSlot& s = e.slots[k];
        EXPECT_GE(v, s.trendMin) << e.id << "/" << k;
        EXPECT_LE(v, s.trendMax) << e.id << "/" << k;
      }
    for (int p = 0; p < kProfileCount; ++p)
      if (const std::int16_t* values = FindProfile(static_cast<ProfileId>(p)))
        for (int i = 0; i < kProfileLength; ++i) {
          EXPECT_GE(values[i], 0);
          EXPECT_LE(values[i], InfoOf(static_cast<ProfileId>(p)).maximum);
        }
  }
  EXPECT_GE(files, 8);
  // The one file that is not a settings file was refused, the rest read.
  EXPECT_EQ(host->MessageNumbers(), (std::vector<int>{42}));
}

}  // namespace
}  // namespace qv
