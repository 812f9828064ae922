#include "anim/project.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "anim/anim_state.h"
#include "app/commands.h"
#include "base/progress.h"
#include "formats/bmp.h"
#include "formats/image_files.h"
#include "ops/apply.h"
#include "ops/op_state.h"
#include "store/image_record.h"
#include "support/program_fixture.h"

namespace qv {
namespace {

class ProjectTest : public test::ProgramTest {
 protected:
  // A small bitmap on disk, its size telling the files apart.
  std::string MakeBitmap(const std::filesystem::path& path, int width, int height) {
    std::filesystem::create_directories(path.parent_path());
    ImageRecord* image = CreateLockedImage(width, height, "test");
    EXPECT_NE(image, nullptr);
    EXPECT_EQ(WriteBmp(image, path.string(), 24), 0);
    FreeImage(image);
    return path.string();
  }
  void Write(const std::filesystem::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
  void Restart() {
    ResetProgram();
    host = &InstallHost<RecordingHost>();
    InstallTrendHooks();
  }
};

TEST_F(ProjectTest, EveryOperationProfileAndTrendComesBack) {
  InstallTrendHooks();
  // Values away from the defaults, each within what a file may set.
  for (const OpEntry& e : Catalogue())
    for (int k = 0; k < LabelledSlotCount(e); ++k) {
      const ParamSlot& slot = e.slots[k];
      std::int32_t* live = BindingValue(slot.binding);
      if (!live) continue;
      const std::int64_t span = std::int64_t{slot.trendMax} - slot.trendMin + 1;
      *live = slot.kind == kParamColour ? 0x102030 + k
                                        : static_cast<std::int32_t>(slot.trendMin + (e.id * 7 + k * 13) % span);
    }
  const std::vector<std::int32_t> values = Ops().values;
  for (ProfileId p : {ProfileId::Arm, ProfileId::Shape, ProfileId::CcH, ProfileId::RpL}) {
    std::int16_t* curve = EnsureProfile(p);
    ASSERT_NE(curve, nullptr);
    for (int i = 0; i < kProfileLength; ++i) curve[i] = static_cast<std::int16_t>((i * 3 + static_cast<int>(p)) % 100);
  }
  const OpEntry& motion = OpOf(3121);
  const auto lengthVar = static_cast<TrendVar>(motion.slots[0].binding);
  Trend* trend = FindOrCreateTrend(lengthVar, 0);
  ASSERT_NE(trend, nullptr);
  SetTrendPoint(*trend, FrameCount() - 1, 1500);
  RecomputeTrend(*trend);
  const std::vector<std::int32_t> trendValues(trend->frameValues, trend->frameValues + FrameCount());
  ASSERT_EQ(SaveProject(workDir / "all.qvp"), 0);

  Restart();
  ASSERT_EQ(LoadProject(workDir / "all.qvp"), 0);
  EXPECT_EQ(Ops().values, values);
  for (ProfileId p : {ProfileId::Arm, ProfileId::Shape, ProfileId::CcH, ProfileId::RpL}) {
    const std::int16_t* curve = FindProfile(p);
    ASSERT_NE(curve, nullptr);
    for (int i = 0; i < kProfileLength; ++i) ASSERT_EQ(curve[i], (i * 3 + static_cast<int>(p)) % 100) << i;
  }
  EXPECT_EQ(FindProfile(ProfileId::CcS), nullptr) << "a profile never made is not made by reading";
  const Trend* back = FindTrend(lengthVar, 0);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(std::vector<std::int32_t>(back->frameValues, back->frameValues + FrameCount()), trendValues);
  EXPECT_EQ(Trends().size(), 1u);
  EXPECT_TRUE(host->MessageNumbers().empty());
}

TEST_F(ProjectTest, ImageLinesNamingNoImageFileAreSkipped) {
  MakeBitmap(workDir / "good.bmp", 3, 2);
  std::filesystem::create_directories(workDir / "folder");
  ASSERT_EQ(::mkfifo((workDir / "pipe").c_str(), 0600), 0);
  Write(workDir / "other.qvp", "QVPROJECT Pixanta:Q/v File\n\nIMAGE: " + (workDir / "good.bmp").string() + "\n");
  const std::string self = (workDir / "self.qvp").string();
  Write(self, "QVPROJECT Pixanta:Q/v File\n\nIMAGE: " + (workDir / "folder").string() + "\nIMAGE: " +
                  (workDir / "pipe").string() + "\nSOURCE: /dev/null\nIMAGE: " + self + "\nIMAGE: " +
                  (workDir / "other.qvp").string() + "\nIMAGE: elsewhere/good.bmp\nMotion Blur: 1 2 3\n");
  ProjectLoadReport report;
  ASSERT_EQ(LoadProject(self, &report), 0);
  EXPECT_EQ(host->MessageNumbers(), (std::vector<int>{71, 71, 71, 71, 71}));
  // The last name is found by its file name in the project's folder.
  ASSERT_EQ(ImageCount(), 1);
  EXPECT_EQ(ImageAt(0)->width, 3);
  ASSERT_EQ(report.images.size(), 6u);
  EXPECT_EQ(report.images[5].image, ImageAt(0));
  EXPECT_EQ(Pipeline().source, nullptr);
  EXPECT_EQ(ParamValue(3121, 2), 3) << "the lines after the skipped ones are read";
}

TEST_F(ProjectTest, CloseProjectStopsWhenSavingTheTrendsDoesNot) {
  std::string image = MakeBitmap(workDir / "a.bmp", 2, 2);
  ASSERT_EQ(LoadImageIntoTable(image), 0);
  ASSERT_NE(FindOrCreateTrend(static_cast<TrendVar>(OpOf(3121).slots[0].binding), 0), nullptr);

  BeginSequence("Sequence", 3);
  EXPECT_EQ(RouteCommand(kCommandCloseProject), 1);
  EndSequence();
  EXPECT_EQ(RouteCommand(kCommandCloseProject), 2);  // Save As cancelled
  host->chosenSaveFiles = {(workDir / "no such folder" / "p").string()};
  EXPECT_EQ(RouteCommand(kCommandCloseProject), 1);
  EXPECT_EQ(host->MessageNumbers(), (std::vector<int>{78, 71}));
  EXPECT_EQ(ImageCount(), 1);
  EXPECT_EQ(Trends().size(), 1u);

  host->chosenSaveFiles = {(workDir / "p").string()};
  EXPECT_EQ(RouteCommand(kCommandCloseProject), 0);
  EXPECT_TRUE(std::filesystem::exists(workDir / "p.QVP"));
  EXPECT_EQ(ImageCount(), 0);
  EXPECT_TRUE(Trends().empty());
}

}  // namespace
}  // namespace qv
