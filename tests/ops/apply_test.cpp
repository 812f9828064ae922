#include <gtest/gtest.h>

#include <cstring>

#include <algorithm>

#include "app/frame.h"
#include "base/progress.h"
#include "display/render.h"
#include "display/views.h"
#include "ops/apply.h"
#include "ops/apply_test_support.h"
#include "ops/op_menu.h"
#include "store/undo.h"

namespace qv::test {
namespace {

constexpr OpId kContrast = 3181;
constexpr OpId kRelief = 3151;  // an Image operation (used as a name only)
constexpr OpId kDome = 3131;    // a Warp operation (used as a name only)
constexpr OpId kColorFill = 3186, kSample = 3187, kInvertAlpha = 3194;

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
  ASSERT_EQ(FinishSelection(image, 0, 0), 0);  // the gesture ends
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

// The interactive path: what a finished gesture made is what the effect
// changes, the undo history survives every splatter run, and an Apply with
// nothing selected on the image does nothing.
class InteractiveTest : public PipelineTest {
 protected:
  static std::vector<std::uint8_t> Mask() {
    const AreaMask& m = TheProgram().area.mask;
    std::vector<std::uint8_t> out(static_cast<std::size_t>(m.width) * m.height);
    auto* bytes = static_cast<std::uint8_t*>(LockVirtual(m.place));
    std::copy(bytes, bytes + out.size(), out.begin());
    UnlockVirtual(m.place);
    return out;
  }
  // A shape drawn as a view does it: keys sampled at the press, the box set
  // by the drag, the selection finished at the release. Returns the mask.
  std::vector<std::uint8_t> Draw(ImageRecord* image, int mode, int l, int t, int r, int b, bool shift = false,
                                 bool ctrl = false) {
    const int code = BeginSelectionGesture(shift, ctrl);
    AreaSelection& s = TheProgram().area.selection;
    s.mode = static_cast<std::int16_t>(mode);
    SetSelectionBox(s, l, t, r, b);
    EXPECT_EQ(FinishSelection(image, 0, code), 0);
    return Mask();
  }
  // Which pixels differ, one flag per pixel.
  static std::vector<bool> Changed(const std::vector<std::uint8_t>& before, const std::vector<std::uint8_t>& after) {
    std::vector<bool> out(before.size() / 4);
    for (std::size_t i = 0; i < out.size(); ++i)
      out[i] = !std::equal(before.begin() + 4 * i, before.begin() + 4 * i + 4, after.begin() + 4 * i);
    return out;
  }
  static std::vector<bool> Selected(const std::vector<std::uint8_t>& mask) {
    std::vector<bool> out(mask.size());
    for (std::size_t i = 0; i < mask.size(); ++i) out[i] = mask[i] != 0;
    return out;
  }
  ImageRecord* Plain(int w, int h, int alpha = 255) {
    return Add(w, h, [alpha](int, int) { return std::array<int, 4>{100, 150, 200, alpha}; });
  }
};

TEST_F(InteractiveTest, ImmediatePaintingChangesExactlyTheMaskTheOutlineShows) {
  ImageRecord* image = Plain(30, 20);
  TheProgram().ops.current = kColorFill;
  AreaState& area = TheProgram().area;
  auto appliedTo = [&](const std::vector<std::uint8_t>& mask, const char* what) {
    const auto before = Pixels(image);
    ASSERT_EQ(AreaSelectionMade(0), 0) << what;
    EXPECT_EQ(Changed(before, Pixels(image)), Selected(mask)) << what;
    EXPECT_EQ(Mask(), mask) << what << ": the selection stays as drawn";
    ASSERT_EQ(Undo(), 0);
  };
  area.exclude = true;
  appliedTo(Draw(image, kAreaRectangle, 8, 5, 20, 12), "rectangle with Exclude");
  area.exclude = false;
  appliedTo(Draw(image, kAreaRectangle, 2, 2, 15, 12), "a first rectangle");
  appliedTo(Draw(image, kAreaRectangle, 10, 8, 25, 18, false, true), "CTRL takes a second one away");
  appliedTo(Draw(image, kAreaRectangle, 2, 2, 8, 8), "a small one");
  area.combination = AreaCombination::Union;
  appliedTo(Draw(image, kAreaRectangle, 14, 10, 20, 16), "Union adds one apart from it");
  area.combination = AreaCombination::None;
  appliedTo(Draw(image, kAreaEllipse, -6, 4, 10, 16), "an ellipse cut by the left edge");
  area.selection.edgeFade = 1;
  appliedTo(Draw(image, kAreaEllipse, 4, 2, 24, 18), "a soft-edged ellipse");
}

TEST_F(InteractiveTest, AlphaToolsAreNotLimitedByAlphaInDrawFirstNorThroughSplats) {
  ImageRecord* image =
      Add(40, 40, [](int x, int y) { return std::array<int, 4>{100, 150, 200, (x + y) % 2 ? 254 : 255}; });
  image->hasAlpha = 1;
  SetWorkMethod(kDrawFirst);
  Draw(image, kAreaEntire, 0, 0, 39, 39);
  const auto before = Pixels(image);
  // An ordinary effect is limited by alpha: a blue 200 filled with 255.
  ASSERT_EQ(Apply(static_cast<int>(kColorFill), 0), 0);
  auto after = Pixels(image);
  for (std::size_t i = 0; i < after.size(); i += 4)
    ASSERT_EQ(after[i + 2], after[i + 3] == 255 ? 255 : 254) << i / 4;
  ASSERT_EQ(Undo(), 0);
  ASSERT_EQ(Apply(static_cast<int>(kInvertAlpha), 0), 0);
  after = Pixels(image);
  for (std::size_t i = 3; i < after.size(); i += 4) ASSERT_EQ(after[i], 255 - before[i]) << i / 4;
  ASSERT_EQ(Undo(), 0);
  ASSERT_EQ(Pixels(image), before);
  AreaState& area = TheProgram().area;
  area.splatter = true;
  area.splat = SplatterSettings{5, 9, 1, 300, 0, 1};
  ASSERT_EQ(Apply(static_cast<int>(kInvertAlpha), 0), 0);
  after = Pixels(image);
  int inverted = 0, lowered = 0;
  for (std::size_t i = 3; i < after.size(); i += 4) {
    if (after[i] == before[i]) continue;
    ASSERT_EQ(after[i], 255 - before[i]) << i / 4;
    ++inverted;
    lowered += before[i] == 254;
  }
  EXPECT_GT(inverted, 400);
  EXPECT_GT(lowered, inverted / 3);
}

TEST_F(InteractiveTest, SplatterRunsKeepTheEarlierUndoLayerWhateverThePassesDid) {
  ImageRecord* image = Grey(40, 40);
  const auto original = Pixels(image);
  TheProgram().ops.current = kContrast;
  Draw(image, kAreaEntire, 0, 0, 39, 39);
  ASSERT_EQ(AreaSelectionMade(0), 0);
  const auto earlier = Pixels(image);
  AreaState& area = TheProgram().area;
  area.splatter = true;
  area.splat = SplatterSettings{3, 9, 1, 100, 0, 1};  // rectangles, all inside
  SetParamValue(kContrast, 0, -50);
  auto undoesToTheEarlierState = [&](const char* what) {
    EXPECT_EQ(Pixels(image), earlier) << what;
    ASSERT_EQ(Undo(), 0) << what;
    EXPECT_EQ(Pixels(image), original) << what;
    ASSERT_EQ(DeUndo(), 0) << what;
    EXPECT_EQ(Pixels(image), earlier) << what;
  };
  ASSERT_EQ(Apply(static_cast<int>(kSample), 0), 0);
  undoesToTheEarlierState("Sample takes no layer");
  SetParamValue(kContrast, 0, 0);
  EXPECT_EQ(Apply(static_cast<int>(kContrast), 0), 2);
  undoesToTheEarlierState("Contrast 0 is cancelled");
  SetParamValue(kContrast, 0, -50);
  host->onPump = [] { RequestStop(); };
  EXPECT_EQ(Apply(static_cast<int>(kContrast), 0), 1);
  undoesToTheEarlierState("stopped before the first splat");
  // Stopped part-way through a pass: that pass is taken back at once.
  auto stopInPass = [&](int pass) {
    host->onPump = [pass] {
      const ProgressState& p = TheProgram().progress;
      if (p.operationTitle == "Contrast" && !p.enclosing.empty() && p.enclosing.back().current == pass &&
          p.operationCurrent == p.operationTotal - 1)
        RequestStop();
    };
  };
  stopInPass(0);
  EXPECT_EQ(Apply(static_cast<int>(kContrast), 0), 1);
  undoesToTheEarlierState("stopped inside the first pass");
  stopInPass(1);
  EXPECT_EQ(Apply(static_cast<int>(kContrast), 0), 1);
  const auto firstSplat = Pixels(image);
  EXPECT_NE(firstSplat, earlier);
  EXPECT_EQ(image->changed, 2);
  ASSERT_EQ(Undo(), 0);
  EXPECT_EQ(Pixels(image), earlier);
  ASSERT_EQ(Undo(), 0);
  EXPECT_EQ(Pixels(image), original);
}

TEST_F(InteractiveTest, RedoRebuildsTheLastSelectionOnceScaledToTheImage) {
  ImageRecord* a = Plain(20, 16);
  ImageRecord* b = Plain(40, 32, 128);
  b->hasAlpha = 1;
  TheProgram().images.currentAction = a;
  SetWorkMethod(kDrawFirst);
  AreaSelection& s = TheProgram().area.selection;
  s.edgeFade = 1;
  const auto drawn = Draw(a, kAreaRectangle, 2, 2, 13, 11);
  ASSERT_EQ(drawn[2 * 20 + 5], 127);
  // Redo from the toolbox, on an image twice the size.
  TheProgram().images.currentAction = b;
  s.mode = kAreaRedo;
  ASSERT_EQ(FinishSelection(b, 0, BeginSelectionGesture(false, false)), 0);
  s.mode = kAreaRectangle;
  const auto redone = Mask();
  ASSERT_EQ(redone.size(), 40u * 32u);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 40; ++x)
      ASSERT_EQ(redone[static_cast<std::size_t>(y * 40 + x)], drawn[static_cast<std::size_t>(y / 2 * 20 + x / 2)])
          << x << "," << y;

  // In Immediate Painting the Redo button applies the effect, once, through
  // that mask: not softened again, and not limited by the image's alpha.
  SetWorkMethod(kImmediatePainting);
  TheProgram().ops.current = kColorFill;
  ImageRecord* c = Plain(40, 32, 128);
  c->hasAlpha = 1;
  TheProgram().images.currentAction = a;
  const auto before = Pixels(c);
  ASSERT_EQ(RedoSelection(c), 0);
  EXPECT_EQ(ActionImage(), c);
  EXPECT_EQ(c->changed, 1);
  EXPECT_EQ(Mask(), redone);
  EXPECT_EQ(Changed(before, Pixels(c)), Selected(redone));
  EXPECT_EQ(At(c, 10, 10), (std::array<int, 4>{0, 0, 255, 128}));
  EXPECT_EQ(At(c, 4, 10), (std::array<int, 4>{50, 75, 227, 128}));  // the ring, halved once
  EXPECT_EQ(TheProgram().area.selection.mode, kAreaRectangle);
}

TEST_F(InteractiveTest, ImmediatePaintingWithNothingSelectedOnTheImageChangesNothing) {
  ImageRecord* a = Grey(6, 6);
  ImageRecord* b = Grey(6, 6);
  const auto untouched = Pixels(b);
  TheProgram().ops.current = kContrast;
  TheProgram().images.currentAction = a;
  EXPECT_EQ(Apply(static_cast<int>(kContrast), 0), 1);
  EXPECT_EQ(a->changed, 0);
  EXPECT_EQ(TheProgram().undo.stack, nullptr);
  ASSERT_EQ(host->statusTexts.size(), 1u);
  EXPECT_EQ(host->statusTexts[0], "No area selection on this image: draw one to apply the effect.");
  EXPECT_TRUE(host->messages.empty());
  // A selection that selects nothing (Exclude with Entire) is no selection.
  TheProgram().area.exclude = true;
  Draw(a, kAreaEntire, 0, 0, 5, 5);
  TheProgram().area.exclude = false;
  EXPECT_EQ(AreaSelectionMade(0), 1);
  EXPECT_EQ(a->changed, 0);
  // A selection applied on A is not carried over, unseen, to B.
  Draw(a, kAreaRectangle, 1, 1, 3, 3);
  ASSERT_EQ(AreaSelectionMade(0), 0);
  EXPECT_EQ(a->changed, 1);
  TheProgram().images.currentAction = b;
  EXPECT_EQ(Apply(static_cast<int>(kContrast), 0), 1);
  EXPECT_EQ(Pixels(b), untouched);
  EXPECT_EQ(b->changed, 0);
  EXPECT_EQ(host->statusTexts.size(), 3u);
  // On A itself, Apply goes over the same selection again.
  TheProgram().images.currentAction = a;
  SetParamValue(kContrast, 0, -100);
  ASSERT_EQ(Apply(static_cast<int>(kContrast), 0), 0);
  EXPECT_EQ(a->changed, 2);
  EXPECT_EQ(At(a, 2, 2)[0], 128);
  EXPECT_EQ(At(a, 4, 4)[0], 40);
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
