#include <fstream>
#include <sstream>
#include <vector>

#include "base/string_table.h"
#include "base/text_words.h"
#include "ops/op_state.h"
#include "ops/qvs_file.h"
#include "support/program_fixture.h"

namespace qv {
namespace {

class QvsFileTest : public test::ProgramTest {
 protected:
  std::vector<std::int32_t> Values(OpId id) {
    std::vector<std::int32_t> v;
    for (int k = 0; k < LabelledSlotCount(OpOf(id)); ++k) v.push_back(ParamValue(id, k));
    return v;
  }
  int Read(const std::string& body) { return ReadOpSettingsText("QVOPSET Pixanta:Q/v File\n\n" + body, &result); }
  static std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
  }
  QvsReadResult result;
};

TEST_F(QvsFileTest, EveryOperationSurvivesAWriteAndRead) {
  for (const OpEntry& e : Catalogue()) {
    SCOPED_TRACE(std::string(OpName(e.id)));
    const int n = LabelledSlotCount(e);
    // A value for every slot that differs from its default and stays in range.
    std::vector<std::int32_t> chosen;
    for (int k = 0; k < n; ++k) {
      const ParamSlot& s = e.slots[k];
      std::int32_t v = s.kind == kParamColour ? 0x123456 + k : (s.defaultValue == s.dialMax ? s.dialMin : s.dialMax);
      SetParamValue(e.id, k, v);
      chosen.push_back(ParamValue(e.id, k));  // shared slots: the last write wins
    }
    ASSERT_EQ(SaveOpSettingsFile("op.qvs", e.id), 0);
    ResetParamValues();
    ASSERT_EQ(LoadOpSettingsFile("op.qvs", &result), 0);
    EXPECT_EQ(result.lastOperation, e.id);
    EXPECT_EQ(Values(e.id), chosen);
    ResetParamValues();
  }
  EXPECT_TRUE(host->messages.empty());
}

TEST_F(QvsFileTest, ProfilesSurviveAndAreWrittenTwentyValuesALine) {
  std::int16_t* arm = EnsureProfile(ProfileId::Arm);
  for (int i = 0; i < kProfileLength; ++i) arm[i] = static_cast<std::int16_t>(i);
  std::vector<std::string> lines = Lines(OpSettingsText(3111));
  ASSERT_GE(lines.size(), 15u);
  EXPECT_EQ(lines[0], "QVOPSET Pixanta:Q/v File");
  EXPECT_EQ(lines[1], "");
  EXPECT_EQ(lines[2], "Asterize: 64 64 255 0 10 0 4 0 0 1");
  EXPECT_EQ(lines[3], "Arm 0 200 0 255");
  for (int l = 0; l < 10; ++l) EXPECT_EQ(SplitWords(lines[4 + l]).size(), 20u) << l;
  EXPECT_EQ(lines[13].substr(lines[13].rfind(' ')), " 199");
  EXPECT_EQ(lines[14], " 200");
  EXPECT_EQ(lines[15], "NoTrend[Arm ]");

  ASSERT_EQ(SaveOpSettingsFile("arm.qvs", 3111), 0);
  FreeProfiles();
  ASSERT_EQ(LoadOpSettingsFile("arm.qvs", &result), 0);
  EXPECT_EQ(result.profilesRead, 1);
  ASSERT_NE(FindProfile(ProfileId::Arm), nullptr);
  for (int i = 0; i < kProfileLength; ++i) EXPECT_EQ(FindProfile(ProfileId::Arm)[i], i);

  // Refract writes only the curves that exist, each with its own maximum.
  EnsureProfile(ProfileId::CpS)[3] = 77;
  std::string refract = OpSettingsText(3113);
  EXPECT_NE(refract.find("\nCpS 0 200 0 100\n"), std::string::npos);
  EXPECT_EQ(refract.find("CcH"), std::string::npos);
}

TEST_F(QvsFileTest, NamesMatchWholeWordsWithoutCaseAndRestoreTheirValuesInOrder) {
  ASSERT_EQ(Read("Motion Blur: 50 0 70\n"), 0);
  EXPECT_EQ(Values(3121), (std::vector<std::int32_t>{50, 0, 70}));
  SetParamValue(3121, 0, 1);
  ASSERT_EQ(Read("motion blur:7\n"), 0);  // names match without case; a missing blank is fine
  EXPECT_EQ(Values(3121), (std::vector<std::int32_t>{7, 0, 70}));

  // Shave is neither a profile nor Shave Alpha.
  ASSERT_EQ(Read("Shave: 1 0\n"), 0);
  EXPECT_EQ(Values(3157), (std::vector<std::int32_t>{1, 0}));
  EXPECT_EQ(FindProfile(ProfileId::Shape), nullptr);
  EXPECT_EQ(result.profilesRead, 0);

  ASSERT_EQ(Read("Shave: 9 2\nShave Alpha: 11\n"), 0);
  EXPECT_EQ(Values(3157), (std::vector<std::int32_t>{9, 2}));
  EXPECT_EQ(Values(3197), (std::vector<std::int32_t>{11}));
  EXPECT_EQ(result.lastOperation, 3197u);
  // The whole name must end where a word ends.
  ASSERT_EQ(Read("Blurry: 5\n"), 0);
  EXPECT_EQ(result.operationLines, 0);
}

TEST_F(QvsFileTest, MissingOrBadValuesLeaveTheirParametersAlone) {
  SetParamValue(3134, 8, 123);
  ASSERT_EQ(Read("Waves: 5 x -7\n"), 0);
  EXPECT_EQ(Values(3134), (std::vector<std::int32_t>{5, 0, -7, 20, 0, 30, 20, 0, 123}));
  // Values from a file stay within the trend range; packed colours within 24 bits.
  ASSERT_EQ(Read("Swirl: 99999999999999999999\nFire: -5 0 0 0 -1 999999999\n"), 0);
  EXPECT_EQ(ParamValue(3133, 0), 99999);
  EXPECT_EQ(ParamValue(3213, 0), 0);
  EXPECT_EQ(ParamValue(3213, 4), 0);
  EXPECT_EQ(ParamValue(3213, 5), 0xFFFFFF);
}

TEST_F(QvsFileTest, ProfileBlocksAreBoundedByTheirHeaderAndByTheNextLine) {
  ASSERT_EQ(Read("Shape 5 8 0 255\n1 2 3 400 -3\nShape 190 300\n9 9 9 9 9 9 9 9 9 9 9 9\nSwirl: 12\n"), 0);
  const std::int16_t* shape = FindProfile(ProfileId::Shape);
  ASSERT_NE(shape, nullptr);
  EXPECT_EQ(shape[4], DefaultProfile()[4]);  // untouched
  EXPECT_EQ(shape[5], 1);
  EXPECT_EQ(shape[7], 3);
  EXPECT_EQ(shape[8], 255);  // clamped to the profile's range
  EXPECT_EQ(shape[9], DefaultProfile()[9]);
  EXPECT_EQ(shape[200], 9);  // last index 300 is taken as 200
  EXPECT_EQ(ParamValue(3133, 0), 12);

  // A block cut short gives way to the operation line that follows it.
  ASSERT_EQ(Read("CcH\n10 20\nAnnular: 1 2 3\n"), 0);
  EXPECT_EQ(FindProfile(ProfileId::CcH)[1], 20);
  EXPECT_EQ(Values(3112)[2], 3);
}

TEST_F(QvsFileTest, TrendLinesGoToTheSlotsInWriterOrder) {
  std::vector<std::uint32_t> removed;
  TheProgram().ops.hooks.removeTrend = [&](const ParamSlot& s) { removed.push_back(s.labelId); };
  // Waves has three slots keyed "X"; the second "X" line is X Front's.
  ASSERT_EQ(Read("Waves: 1\nNoTrend[X]\nNoTrend[x]\nNoTrend[Shad]\nNoTrend[Nope]\nNoTrend[Y\n"), 0);
  EXPECT_EQ(removed, (std::vector<std::uint32_t>{11110, 11120, 11170}));

  std::vector<std::string> curve;
  TheProgram().ops.hooks.readTrend = [&](const std::string& line, const ParamSlot& s,
                                         const std::function<bool(std::string&)>& next) {
    curve.push_back(line + "@" + std::to_string(s.labelId));
    std::string more;
    if (next(more)) curve.push_back(more);
  };
  removed.clear();
  ASSERT_EQ(Read("Key In:\nTrend[Red] 1 2 3 4\n0 5 10\nNoTrend[Red ]\n"), 0);
  EXPECT_EQ(curve, (std::vector<std::string>{"Trend[Red] 1 2 3 4@13810", "0 5 10"}));
  EXPECT_EQ(removed, (std::vector<std::uint32_t>{13840}));

  EXPECT_EQ(TrendKey("X Length"), "X");
  EXPECT_EQ(TrendKey("Length"), "Leng");
  EXPECT_EQ(TrendKey("Red"), "Red");
  EXPECT_EQ(TrendKey(""), "");
  EXPECT_NE(OpSettingsText(3176).find("\nNoTrend[]\nNoTrend[Disp]\n"), std::string::npos);
}

TEST_F(QvsFileTest, ImageLinesReachTheirHookAndProjectsAreAccepted) {
  std::vector<std::string> seen;
  TheProgram().ops.hooks.imageLine = [&](std::string_view k, std::string_view name) {
    seen.push_back(std::string(k) + "=" + std::string(name));
  };
  int refreshed = 0;
  TheProgram().ops.hooks.refreshSettings = [&] { ++refreshed; };
  ASSERT_EQ(ReadOpSettingsText("\xEF\xBB\xBFqvproj 1\r\nsource \"my picture.bmp\"\r\nTARGET b.tga\r\nImage\r\n"), 0);
  EXPECT_EQ(seen, (std::vector<std::string>{"SOURCE=my picture.bmp", "TARGET=b.tga"}));
  EXPECT_EQ(refreshed, 1);
}

TEST_F(QvsFileTest, FailuresAreReportedWithTheirMessages) {
  EXPECT_EQ(ReadOpSettingsText("QVOPSE\nSwirl: 5\n"), 1);
  EXPECT_EQ(ReadOpSettingsText(""), 1);
  EXPECT_EQ(host->MessageNumbers(), (std::vector<int>{42, 42}));
  EXPECT_EQ(ParamValue(3133, 0), 100);

  EXPECT_EQ(LoadOpSettingsFile("absent.qvs"), 1);
  EXPECT_EQ(SaveOpSettingsFile(workDir / "no-such-folder" / "x.qvs"), 1);
  ASSERT_EQ(host->messages.size(), 4u);
  EXPECT_EQ(host->messages[2].number, 71);
  EXPECT_NE(host->messages[2].extra.find("absent.qvs"), std::string::npos);
  EXPECT_EQ(host->messages[3].number, 71);

  // A save whose rename fails leaves what was there and no temporary file.
  std::filesystem::create_directory("dir.qvs");
  EXPECT_EQ(SaveOpSettingsFile("dir.qvs", 3133), 1);
  EXPECT_TRUE(std::filesystem::is_directory("dir.qvs"));
  for (const auto& f : std::filesystem::directory_iterator(workDir))
    EXPECT_EQ(f.path().filename().string().find(".tmp"), std::string::npos) << f.path();
}

}  // namespace
}  // namespace qv
