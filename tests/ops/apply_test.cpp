#include <gtest/gtest.h>

#include <cstring>

#include <algorithm>

#include "app/frame.h"
#include "app/progress.h"
#include "display/render.h"
#include "display/views.h"
#include "ops/op_menu.h"
#include "ops/apply.h"
#include "ops/apply_test_support.h"
#include "store/undo.h"

namespace qv::test {
namespace {

constexpr OpId kContrast = 3181;
constexpr OpId kRelief = 3151;  // an Image operation (used as a name only)
constexpr OpId kDome = 3131;    // a Warp operation (used as a name only)

// Workers for driving kinds no built effect uses yet. Test-file state only.
int workerCalls = 0;
bool sawUndoCopy = false;
void Blacken(std::uint8_t* p, int, int, int) {
  ++workerCalls;
  p[0] = p[1] = p[2] = 0;
  if (Ctx().undo) sawUndoCopy = true;
}

class PipelineTest : public ApplyTest {
 protected:
  // Publishes a box and worker as Apply Operation would, for one driver.
  void Publish(ImageRecord* image, OpId op, int x0, int y0, int x1, int y1) {
    ApplyContext& c = Ctx();
    c = ApplyContext{};
    c.image = image;
    c.op = op;
    c.x0 = x0;
    c.y0 = y0;
    c.x1 = x1;
    c.y1 = y1;
    c.routines.pixelWorker = Blacken;
    workerCalls = 0;
    sawUndoCopy = false;
  }
  ImageRecord* Grey(int w, int h) {
    return Add(w, h, [](int x, int y) { return std::array<int, 4>{10 * x, 10 * y, 200, 255}; });
  }
};

TEST_F(PipelineTest, OnePixelBoxRunsWithAOneLineProgressAndChangesOnlyThatPixel) {
  ImageRecord* image = Grey(8, 8);
  auto before = Pixels(image);
  SelectRect(3, 4, 3, 4);
  std::vector<int> totals;
  host->onPump = [&] { totals.push_back(TheProgram().progress.operationTotal); };
  ASSERT_EQ(Run(kContrast), 0);
  EXPECT_EQ(totals, std::vector<int>{1});
  auto after = Pixels(image);
  std::size_t changed = 0;
  for (std::size_t i = 0; i < after.size(); ++i) changed += after[i] != before[i];
  EXPECT_EQ(changed, 3u);  // R, G and B of (3, 4); contrast 100 moves 30, 40 and 200
  EXPECT_EQ(At(image, 3, 4), (std::array<int, 4>{0, 0, 255, 255}));
  EXPECT_EQ(image->changed, 1);
}

TEST_F(PipelineTest, AnApplyFromInsideARunningOneIsRefused) {
  ImageRecord* image = Grey(3, 3);
  SelectEntireImage();
  std::vector<int> inner;
  host->onPump = [&] { inner.push_back(Run(kContrast)); };
  ASSERT_EQ(Run(kContrast), 0);
  EXPECT_EQ(inner, (std::vector<int>{1, 1, 1}));
  EXPECT_EQ(host->MessageNumbers(), (std::vector<int>{86, 86, 86}));
  EXPECT_EQ(image->changed, 1);
  EXPECT_FALSE(Pipeline().busy);
}

// Window events run inside the progress reports, so the close box of the
// very view being changed can be clicked mid-apply. Nothing that frees the
// image may run then, and no save question may come before the refusal.
TEST_F(PipelineTest, ClosingTheViewTheImageOrTheProgramMidApplyIsRefused) {
  constexpr OpId kColorize = 3188;
  ImageRecord* image = Grey(64, 48);
  image->changed = 2;
  ViewRecord* view = OpenView(image);
  ASSERT_NE(view, nullptr);
  SelectEntireImage();
  host->answers = {2, 2, 2};  // "Close Without saving", were it asked
  std::vector<int> tried;
  host->onPump = [&] {
    if (!tried.empty()) return;
    tried.push_back(CloseView(view) ? 1 : 0);
    tried.push_back(RemoveImage(image));
    tried.push_back(ShutDown());
  };
  ASSERT_EQ(Run(kColorize), 0);
  EXPECT_EQ(tried, (std::vector<int>{0, 1, 1}));
  EXPECT_EQ(host->MessageNumbers(), (std::vector<int>{86, 86, 86}));
  EXPECT_EQ(ImageIndex(image), 0);
  EXPECT_EQ(view->image, image);
  EXPECT_EQ(image->changed, 3);
  EXPECT_FALSE(TheProgram().frame.exiting);
  // Once the apply is over the same close goes ahead, question first.
  host->onPump = nullptr;
  host->answers = {2};
  EXPECT_TRUE(CloseView(view));
  EXPECT_EQ(host->messages.back().dialog, "AskSave");
  EXPECT_EQ(ImageCount(), 0);
}

TEST_F(PipelineTest, EmptyMaskInDrawFirstLeavesPixelsButTakesTheUndoCopy) {
  ImageRecord* image = Grey(6, 5);
  auto before = Pixels(image);
  SetWorkMethod(kDrawFirst);
  SelectRect(1, 1, 4, 3);
  // A selection whose mask came out empty (a colour key matching nothing).
  AreaMask& m = TheProgram().area.mask;
  m.place = AllocVirtual(30, "Mask");
  m.width = 6;
  m.height = 5;
  std::memset(LockVirtual(m.place), 0, 30);
  UnlockVirtual(m.place);
  ASSERT_EQ(Run(kContrast), 0);
  EXPECT_EQ(Pixels(image), before);
  ImageRecord* layer = TheProgram().undo.stack[0];
  ASSERT_NE(layer, nullptr);
  EXPECT_EQ(layer->parent, image);
  EXPECT_EQ(layer->width, 4);
  EXPECT_EQ(layer->height, 3);
}

TEST_F(PipelineTest, DrawFirstWithoutASelectionCoversTheWholeImage) {
  ImageRecord* image = Grey(4, 3);
  SetWorkMethod(kDrawFirst);
  EXPECT_EQ(TheProgram().ops.workMethod, kWorkDrawFirst);
  ASSERT_EQ(Run(kContrast), 0);
  EXPECT_EQ(At(image, 0, 0)[2], 255);
  EXPECT_EQ(At(image, 3, 2)[0], 0);
  EXPECT_EQ(Ctx().cx, 2);
  EXPECT_EQ(Ctx().rx, 2);
}

TEST_F(PipelineTest, WorkingMethodsDecideWhenASelectionOrAChoiceApplies) {
  ImageRecord* image = Grey(4, 4);
  SelectRect(0, 0, 1, 1);
  ASSERT_EQ(BuildAreaMask(image, 0), 0);
  TheProgram().ops.current = kContrast;
  SetWorkMethod(kDrawFirst);
  EXPECT_EQ(AreaSelectionMade(0), 0);
  EXPECT_EQ(image->changed, 0);
  ASSERT_EQ(SelectOperation(static_cast<int>(kContrast)), 0);  // the effect clicked over the selection
  EXPECT_EQ(image->changed, 1);
  EXPECT_EQ(At(image, 1, 1)[2], 255);
  EXPECT_EQ(At(image, 2, 2)[2], 200);

  SetWorkMethod(kImmediatePainting);
  ASSERT_EQ(SelectOperation(static_cast<int>(kContrast)), 0);  // only opens the settings
  EXPECT_EQ(image->changed, 1);
  SelectRect(2, 2, 3, 3);
  EXPECT_EQ(AreaSelectionMade(0), 0);
  EXPECT_EQ(image->changed, 2);
  EXPECT_EQ(At(image, 2, 2)[2], 255);
}

TEST_F(PipelineTest, WithoutUndoLevelsPointRunsBareButWarpStillKeepsItsCopy) {
  ImageRecord* image = Grey(5, 5);
  SelectEntireImage();
  ASSERT_EQ(SetUndoLevels(TheProgram().undo.levels, 0), 0);
  ASSERT_EQ(Run(kContrast), 0);
  EXPECT_EQ(At(image, 0, 0)[2], 255);
  EXPECT_TRUE(!TheProgram().undo.stack || !TheProgram().undo.stack[0]);

  Publish(image, kDome, 1, 1, 3, 3);
  ASSERT_EQ(RunDriver(ApplyKind::Warp), 0);
  EXPECT_TRUE(sawUndoCopy);
  EXPECT_EQ(workerCalls, 9);
  ASSERT_NE(TheProgram().undo.stack[0], nullptr);
  EXPECT_EQ(TheProgram().undo.stack[0]->width, 3);
}

TEST_F(PipelineTest, StoppingAGenerationHalfWayRestoresTheWholeBox) {
  ImageRecord* image = Grey(10, 10);
  auto before = Pixels(image);
  Publish(image, kRelief, 2, 1, 8, 8);
  Ctx().generationCount = 2;
  int pumps = 0;
  host->onPump = [&] {
    if (++pumps == 4) RequestStop();
  };
  EXPECT_EQ(RunDriver(ApplyKind::Generation), 1);
  EXPECT_GT(workerCalls, 0);
  EXPECT_EQ(Pixels(image), before);
  EXPECT_EQ(TheProgram().undo.stack[0]->undone, 1);
  EXPECT_EQ(image->lockCount, 0);
  EXPECT_EQ(TheProgram().area.mask.address, nullptr);
  EXPECT_FALSE(IsBusy());
}

TEST_F(PipelineTest, GenerationVisitsEveryPixelOfTheBoxEvenUnmasked) {
  ImageRecord* image = Grey(4, 4);
  SelectRect(1, 1, 1, 1);
  ASSERT_EQ(BuildAreaMask(image, 0), 0);  // one selected pixel
  Publish(image, kRelief, 0, 0, 3, 1);
  Ctx().generationCount = 3;
  ASSERT_EQ(RunDriver(ApplyKind::Generation), 0);
  EXPECT_EQ(workerCalls, 3 * 8);
}

TEST_F(PipelineTest, AffectModesDecideBetweenColourAndAlpha) {
  auto picture = [](int x, int) { return std::array<int, 4>{100, 150, 200, x == 0 ? 100 : 200}; };
  ImageRecord* image = Add(2, 1, picture);
  SelectEntireImage();
  TheProgram().settings.modAlpha = kAffectAlphaOnly;
  EXPECT_EQ(image->hasAlpha, 0);
  ASSERT_EQ(Run(kContrast), 0);
  EXPECT_EQ(image->hasAlpha, 1);  // affecting alpha gives an image without one its alpha plane
  // Contrast 100 maps alpha 100 to 72 and 200 to 255 (thirds summed: 85 x 3).
  EXPECT_EQ(At(image, 0, 0), (std::array<int, 4>{100, 150, 200, 72}));
  EXPECT_EQ(At(image, 1, 0), (std::array<int, 4>{100, 150, 200, 255}));

  TheProgram().settings.modAlpha = kAffectAlphaInView;
  ViewRecord* view = OpenView(image);
  ASSERT_EQ(Run(kContrast), 0);
  // The colour is changed now, through a mask limited by the alpha of 72.
  EXPECT_EQ(At(image, 0, 0), (std::array<int, 4>{92, 156, 215, 72}));
  EXPECT_EQ(At(image, 1, 0), (std::array<int, 4>{72, 172, 255, 255}));
  SetAlphaView(view, true);
  ASSERT_EQ(Run(kContrast), 0);
  EXPECT_EQ(At(image, 0, 0), (std::array<int, 4>{92, 156, 215, 15}));  // 16 in thirds
}

TEST_F(PipelineTest, NoChangeSettingsCancelWithMessage65OrSilentlyWhileGenerating) {
  ImageRecord* image = Grey(3, 3);
  auto before = Pixels(image);
  SelectEntireImage();
  SetParamValue(kContrast, 0, 0);
  EXPECT_EQ(Run(kContrast), 2);
  EXPECT_EQ(host->MessageNumbers(), std::vector<int>{65});
  EXPECT_EQ(Pixels(image), before);
  EXPECT_EQ(image->changed, 0);
  EXPECT_EQ(TheProgram().undo.stack, nullptr);
  EXPECT_FALSE(Pipeline().busy);

  Pipeline().generating = true;
  EXPECT_EQ(Run(kContrast), 2);
  EXPECT_EQ(host->messages.size(), 1u);
  EXPECT_EQ(Pipeline().appliedChanges, 0);
}

TEST_F(PipelineTest, NoImageGivesMessage11WithItsDetail) {
  EXPECT_EQ(Run(kContrast), 1);
  ASSERT_EQ(host->messages.size(), 1u);
  EXPECT_EQ(host->messages[0].number, 11);
  EXPECT_EQ(host->messages[0].firstLine + host->messages[0].secondLine, "No images loaded.");
  EXPECT_EQ(host->messages[0].extra, "To apply the effect.");
}

TEST_F(PipelineTest, SplatterRunsTheDriverOncePerSplatEachWithItsOwnMask) {
  ImageRecord* image = Grey(40, 40);
  SelectEntireImage();
  ASSERT_EQ(BuildAreaMask(image, 0), 0);
  AreaState& area = TheProgram().area;
  area.splatter = true;
  area.splat.number = 3;
  ASSERT_EQ(Run(kContrast), 0);
  int runs = 0;
  bool inDriver = false;
  for (const auto& d : host->progress) {
    bool now = d.operationText == "Contrast";
    if (now && !inDriver) ++runs;
    inDriver = now;
  }
  EXPECT_EQ(runs, 3);
  // One Undo takes back every splat.
  EXPECT_FALSE(area.run.active);
  ASSERT_EQ(Undo(), 0);
  EXPECT_EQ(At(image, 20, 20), (std::array<int, 4>{200, 200, 200, 255}));
}

TEST_F(PipelineTest, TheLogAndTheChronographTellWhatRanAndHowLong) {
  ImageRecord* image = Grey(2, 2);
  std::snprintf(image->name, sizeof image->name, "picture");
  SelectEntireImage();
  StartLog();
  TheProgram().settings.showChron = 1;
  ASSERT_EQ(Run(kContrast), 0);
  std::string log = Logged();
  EXPECT_NE(log.find("Operation : Contrast\nOn : picture\n"), std::string::npos) << log;  // no view: its name
  OpenView(image)->clientWidth = 3;
  RefreshViewTitles(image);
  ASSERT_EQ(Run(kContrast), 0);
  EXPECT_NE(Logged().find("On : View - picture (1:1)\n"), std::string::npos) << Logged();
  const std::string padded = std::string(12, ' ') + "Contrast, ";  // %20s
  EXPECT_NE(log.find("Time Begin: " + padded), std::string::npos) << log;
  EXPECT_NE(log.find("Time End:   " + padded), std::string::npos) << log;
  EXPECT_NE(log.find("Elapsed:    " + padded + "00:00:"), std::string::npos) << log;
  ASSERT_EQ(host->chronograph.size(), 4u);
  EXPECT_EQ(host->chronograph[0][0], "Contrast");
  EXPECT_EQ(host->chronograph[0][2], "");  // begun: no end yet
  EXPECT_EQ(host->chronograph[1][1], host->chronograph[0][1]);
  EXPECT_EQ(host->chronograph[1][3].substr(0, 6), "00:00:");
  EXPECT_EQ(FormatChronoTime(((13 * 60 + 5) * 60 + 9) * 1000L + 42), "13:05:09.042");
}

// Views of the action image at 1:1 and at 2:1, painted once.
class ViewSideTest : public PipelineTest {
 protected:
  ImageRecord* Shown(int w, int h) {
    ImageRecord* image = Grey(w, h);
    one = OpenView(image);
    two = OpenView(image);
    one->clientWidth = w, one->clientHeight = h;
    two->clientWidth = 2 * w, two->clientHeight = 2 * h;
    one->reRender = two->reRender = 0;
    host->invalidated.clear();
    return image;
  }
  // The window rows a band covers, top-down.
  static std::pair<int, int> Rows(const RecordingHost::ViewRows& band) {
    int last = band.view->clientHeight - band.startRow - 1;
    return {last - band.rowCount + 1, last};
  }
  ViewRecord* one = nullptr;
  ViewRecord* two = nullptr;
};

TEST_F(ViewSideTest, AContrastApplyReRendersTheSelectionsRowsInEveryView) {
  ImageRecord* image = Shown(20, 12);
  SelectRect(3, 4, 8, 6);
  ASSERT_EQ(FinishSelection(image, 0, 0), 0);
  ASSERT_GT(TheProgram().area.shownOutline.count, 0);
  ASSERT_EQ(Run(kContrast), 0);
  ASSERT_EQ(host->viewRows.size(), 2u);
  EXPECT_EQ(Rows(host->viewRows[0]), std::make_pair(3, 7));  // one row more on either side
  EXPECT_EQ(host->viewRows[1].view, two);
  EXPECT_EQ(Rows(host->viewRows[1]), std::make_pair(7, 15));
  // The band shows the changed pixels: Contrast 100 saturates the blue 200.
  DibLayout layout;
  ASSERT_TRUE(ReadDibLayout(host->viewRows[0].dib, layout));
  EXPECT_EQ(DibPixel(host->viewRows[0].dib, layout, 5, 5) & 0xFF, 255u);
  EXPECT_EQ(one->reRender, 0);  // no whole render
  // Immediate Painting drops the outline; the mask stays for Redo.
  EXPECT_EQ(TheProgram().area.shownOutline.count, 0);
  EXPECT_NE(TheProgram().area.mask.place, nullptr);

  SetWorkMethod(kDrawFirst);
  ASSERT_EQ(FinishSelection(image, 0, 0), 0);
  ASSERT_EQ(SelectOperation(static_cast<int>(kContrast)), 0);
  EXPECT_EQ(host->viewRows.size(), 4u);
  EXPECT_GT(TheProgram().area.shownOutline.count, 0);  // kept for the next effect
}

TEST_F(ViewSideTest, FailedOrCancelledAppliesOnlyRepaint) {
  ImageRecord* image = Shown(10, 10);
  SelectEntireImage();
  SetParamValue(kContrast, 0, 0);  // no change: cancelled
  EXPECT_EQ(Run(kContrast), 2);
  SetParamValue(kContrast, 0, 100);
  host->onPump = [] { RequestStop(); };
  EXPECT_EQ(Run(kContrast), 1);
  EXPECT_TRUE(host->viewRows.empty());
  EXPECT_EQ(std::count(host->invalidated.begin(), host->invalidated.end(), one), 2);
  EXPECT_EQ(one->reRender, 0);
  EXPECT_EQ(image->changed, 0);
}

TEST_F(PipelineTest, ApplyCommandsSwapAndCloneImages) {
  // Remove Other Images is followed with its views in the views tests.
  ImageRecord* a = Grey(2, 2);
  ImageRecord* b = Grey(4, 4);
  TheProgram().images.currentAction = a;
  Pipeline().source = b;
  ASSERT_EQ(Apply(kSwapActionAndSource), 0);
  EXPECT_EQ(ActionImage(), b);
  EXPECT_EQ(SourceImage(), a);
  ASSERT_EQ(Apply(kCloneActionAsSource), 0);
  EXPECT_EQ(ImageCount(), 3);
  EXPECT_NE(SourceImage(), b);
  EXPECT_EQ(SourceImage()->width, 4);
}

}  // namespace
}  // namespace qv::test
