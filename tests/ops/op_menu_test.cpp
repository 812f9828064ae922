#include <set>

#include "ops/op_menu.h"
#include "ops/op_state.h"
#include "support/program_fixture.h"
#include "store/image_record.h"

namespace qv {
namespace {

TEST(OpMenuTest, OnePopupPerGroupWithTheOperationsAsCommands) {
  auto menu = BuildOperationsMenu();
  ASSERT_EQ(menu.size(), 11u);
  std::vector<std::string> titles;
  std::size_t items = 0;
  for (const auto& p : menu) {
    titles.push_back(p.title);
    std::set<char> mnemonics;
    for (const auto& item : p.items) {
      EXPECT_EQ(OpOf(item.command).group, p.group);
      auto amp = item.text.find('&');
      ASSERT_NE(amp, std::string::npos) << item.text;
      EXPECT_TRUE(mnemonics.insert(static_cast<char>(std::tolower(item.text[amp + 1]))).second) << item.text;
      ++items;
    }
  }
  EXPECT_EQ(items, 70u);
  EXPECT_EQ(titles, (std::vector<std::string>{"&Lighting Group", "&Plasma Group", "&Motion Group", "&Geometric Group",
                                              "P&attern Group", "&Texture Group", "Mat&h Group", "&Collage Group",
                                              "&Standard Group", "Alpha G&roup", "&Zelvane Group"}));
  std::vector<std::string> geometric;
  for (const auto& item : menu[3].items) geometric.push_back(item.text);
  EXPECT_EQ(geometric, (std::vector<std::string>{"&Dome", "&Caricature", "&Swirl", "&Waves", "&Radial Wave",
                                                 "&Perspective", "R&otate", "&Flip", "&Turn 90", "T&urbulence",
                                                 "Surf&ace Warp"}));
  EXPECT_EQ(menu[0].items[0].command, 3111u);
  EXPECT_EQ(menu[10].items[1].command, 3198u);

  // Titles avoid what the Operations menu itself already uses.
  EXPECT_EQ(BuildOperationsMenu("lp").front().title, "L&ighting Group");
  std::string used = "ab";
  EXPECT_EQ(WithMnemonic("Ab & ba", used), "Ab && ba");  // all taken: no mnemonic
}

class OpSelectTest : public test::ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    auto& h = TheProgram().ops.hooks;
    h.openSettings = [this](OpId p, OpId c) { calls.push_back("open " + std::to_string(p) + ">" + std::to_string(c)); };
    h.closeSettings = [this] { calls.push_back("close"); };
    h.markOperation = [this](OpId p, OpId c) { calls.push_back("mark " + std::to_string(p) + ">" + std::to_string(c)); };
    h.applyToCurrentView = [this] {
      calls.push_back("apply " + std::to_string(CurrentOp()));
      return 0;
    };
    h.areaSelectionExists = [this] { return selection; };
  }
  std::vector<std::string> calls;
  bool selection = true;
};

TEST_F(OpSelectTest, ImmediatePaintingOpensTheSettingsOfTheNewOperation) {
  EXPECT_EQ(SelectOperation(3133), 0);
  EXPECT_EQ(CurrentOp(), 3133u);
  EXPECT_TRUE(TheProgram().ops.showControls);
  EXPECT_EQ(calls, (std::vector<std::string>{"mark 3111>3133", "open 3111>3133"}));

  calls.clear();
  ToggleOperationControls();
  EXPECT_FALSE(TheProgram().ops.showControls);
  EXPECT_EQ(calls, (std::vector<std::string>{"close"}));
}

TEST_F(OpSelectTest, DrawFirstAppliesAtOnceOverASelection) {
  TheProgram().ops.workMethod = kWorkDrawFirst;
  EXPECT_EQ(SelectOperation(3121), 0);
  EXPECT_EQ(calls, (std::vector<std::string>{"mark 3111>3121", "apply 3121", "close"}));
  calls.clear();
  EXPECT_EQ(SelectOperation(3121), 0);  // the same operation again keeps its window
  EXPECT_EQ(calls, (std::vector<std::string>{"mark 3121>3121", "apply 3121", "open 3121>3121"}));
  calls.clear();
  selection = false;
  EXPECT_EQ(SelectOperation(3122), 0);
  EXPECT_EQ(calls, (std::vector<std::string>{"mark 3121>3122", "open 3121>3122"}));
}

TEST_F(OpSelectTest, CommandsThatAreNotOperationsChangeNothing) {
  for (int command : {3100, 3200, 3201, 3203, 3899, 3901, 3997}) EXPECT_EQ(SelectOperation(command), 1) << command;
  EXPECT_TRUE(calls.empty());
  EXPECT_EQ(CurrentOp(), 3111u);
  EXPECT_FALSE(IsOperationCommand(3600));  // a group, not an operation
  EXPECT_TRUE(IsOperationCommand(3198));
}

TEST_F(OpSelectTest, EnlargeTakesTheSizeOfTheOnlyImage) {
  ASSERT_EQ(InitImageTable(), 0);
  ImageRecord* image = CreateImage(64, 48, "inew");
  ASSERT_NE(image, nullptr);
  ASSERT_EQ(AddImage(image, false), 0);
  EXPECT_EQ(SelectOperation(3173), 0);
  EXPECT_EQ(TheProgram().ops.oldWidth, 64);
  EXPECT_EQ(TheProgram().ops.oldHeight, 48);
}

}  // namespace
}  // namespace qv
