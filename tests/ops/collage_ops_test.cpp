#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "anim/timeline.h"
#include "app/recording_host.h"
#include "base/progress.h"
#include "ops/apply_test_support.h"
#include "ops/collage_ops.h"
#include "ops/op_menu.h"
#include "store/undo.h"

namespace qv::test {
namespace {

using Px = std::array<int, 4>;

Px Noise(int x, int y) {
  std::uint32_t h = static_cast<std::uint32_t>(x) * 73856093u ^ static_cast<std::uint32_t>(y) * 19349663u;
  h = (h ^ (h >> 13)) * 0x5bd1e995u;
  return {static_cast<int>(h & 255), static_cast<int>((h >> 8) & 255), static_cast<int>((h >> 16) & 255), 255};
}

// Remembers, beside each image added, whether a view was asked for.
struct ViewWishHost : RecordingHost {
  std::vector<bool> withView;
  void ImageAdded(ImageRecord* image, bool view) override {
    RecordingHost::ImageAdded(image, view);
    withView.push_back(view);
  }
};

class CollageTest : public ApplyTest {
 protected:
  void SetUp() override {
    ApplyTest::SetUp();
    SetWorkMethod(kDrawFirst);
  }
  static void Select(int x0, int y0, int x1, int y1) {
    SelectRect(x0, y0, x1, y1);
    ASSERT_EQ(FinishSelection(ActionImage(), 0, 0), 0);
  }
  static void SelectEllipse(int cx, int cy, int rx, int ry) {
    AreaSelection& s = TheProgram().area.selection;
    s.mode = kAreaEllipse;
    s.centreX = cx, s.centreY = cy, s.radiusX = rx, s.radiusY = ry;
    s.left = cx - rx, s.right = cx + rx, s.top = cy - ry, s.bottom = cy + ry;
    ASSERT_EQ(FinishSelection(ActionImage(), 0, 0), 0);
  }
  static void SelectWhole() {
    SelectEntireImage();
    ASSERT_EQ(FinishSelection(ActionImage(), 0, 0), 0);
  }
  // A picture in the table that is not the action image, chosen as source.
  ImageRecord* Source(int w, int h, std::function<Px(int, int)> colour, bool hasAlpha = true) {
    ImageRecord* action = ActionImage();
    ImageRecord* source = Add(w, h, colour);
    source->hasAlpha = hasAlpha;
    TheProgram().images.currentAction = action;
    Pipeline().source = source;
    return source;
  }
  static int Apply(OpId op) { return qv::Apply(static_cast<int>(op), 0); }
};

// ---- the new-image operations ---------------------------------------------

TEST_F(CollageTest, ClipOfAnEllipseIsARectangleWithClearCornersAndItsOwnRecord) {
  auto& views = InstallHost<ViewWishHost>();
  ImageRecord* image = Add(21, 15, Noise);
  image->dpiXNum = 300, image->dpiXDen = 1, image->dpiYNum = 150, image->dpiYDen = 1;
  SelectEllipse(10, 7, 6, 4);
  const auto before = Pixels(image);
  const int images = ImageCount();
  ASSERT_EQ(Apply(kClip), 0);
  ImageRecord* piece = Ctx().result;
  ASSERT_NE(piece, nullptr);
  EXPECT_EQ(ImageCount(), images + 1);
  EXPECT_EQ(piece->width, 13);
  EXPECT_EQ(piece->height, 9);
  EXPECT_EQ(std::string(piece->name).rfind("NEW_", 0), 0u);
  EXPECT_TRUE(piece->hasAlpha);
  EXPECT_EQ(piece->dpiXNum, 300);
  EXPECT_EQ(piece->dpiYNum, 150);
  EXPECT_EQ(piece->changed, 1);
  EXPECT_EQ(piece->parent, image);
  EXPECT_EQ(piece->originX, 4);
  EXPECT_EQ(piece->originY, 3);
  EXPECT_EQ(At(piece, 0, 0), (Px{0, 0, 0, 0}));
  EXPECT_EQ(At(piece, 12, 8), (Px{0, 0, 0, 0}));
  Px middle = Noise(10, 7);
  EXPECT_EQ(At(piece, 6, 4), middle);  // fully inside: colour with alpha 255
  // "As Source" is on by default; the action image and its history are untouched.
  EXPECT_EQ(Pipeline().source, piece);
  EXPECT_EQ(Pixels(image), before);
  EXPECT_NE(Undo(), 0);
  ASSERT_EQ(views.added.back(), piece);
  EXPECT_TRUE(views.withView.back());
}

TEST_F(CollageTest, ClipDisplaySwitchAndClipAlphaPixels) {
  auto& views = InstallHost<ViewWishHost>();
  ImageRecord* image = Add(6, 4, [](int x, int y) { return Px{x * 40, y * 60, 7, x * 10 + y}; });
  Select(1, 1, 3, 2);
  SetParamValue(kClip, 0, 0);  // "As Source" off
  SetParamValue(kClip, 1, 0);  // "Display Clip" off
  Pipeline().source = nullptr;
  ASSERT_EQ(Apply(kClip), 0);
  ImageRecord* piece = Ctx().result;
  ASSERT_NE(piece, nullptr);
  ASSERT_EQ(views.added.back(), piece);
  EXPECT_FALSE(views.withView.back());
  EXPECT_GE(ImageIndex(piece), 0);  // made all the same
  EXPECT_EQ(Pipeline().source, nullptr);
  // Clip Alpha: the alpha as grey with the mask as alpha...
  image->hasAlpha = 1;
  SetParamValue(kClipAlpha, 0, 1);  // "Assign the Result as Source"
  ASSERT_EQ(Apply(kClipAlpha), 0);
  ImageRecord* grey = Ctx().result;
  EXPECT_EQ(At(grey, 0, 0), (Px{11, 11, 11, 255}));
  EXPECT_EQ(At(grey, 2, 1), (Px{32, 32, 32, 255}));
  EXPECT_EQ(Pipeline().source, grey);
  // ...and white where the image has no alpha at all.
  image->hasAlpha = 0;
  ASSERT_EQ(Apply(kClipAlpha), 0);
  EXPECT_EQ(At(Ctx().result, 1, 1), (Px{255, 255, 255, 255}));
}

// A stop restores the box from its copy: the resizes, which fill theirs
// only when they stop, must leave every pixel as it was, replacing or not.
TEST_F(CollageTest, StoppedCutsAndResizesLeaveNoImageBehind) {
  for (OpId op : {kClip, kClipAlpha, kEnlarge, kReduce})
    for (int replace : {0, 1}) {
      if (replace && (op == kClip || op == kClipAlpha)) continue;
      ImageRecord* image = Add(30, 40, Noise);
      image->changed = 0;
      const auto before = Pixels(image);
      Select(3, 2, 25, 30);
      if (op == kEnlarge || op == kReduce) SetParamValue(op, 4, replace);
      const int images = ImageCount();
      host->onPump = [] { RequestStop(); };
      EXPECT_EQ(Apply(op), 1) << OpName(op);
      host->onPump = nullptr;
      EXPECT_EQ(ImageCount(), images) << OpName(op);
      EXPECT_EQ(image->width, 30);
      EXPECT_EQ(image->changed, 0);
      EXPECT_EQ(Pixels(image), before) << OpName(op) << " " << replace;
    }
}

TEST_F(CollageTest, EnlargeAndReduceSampleByHand) {
  ImageRecord* image = Add(2, 1, [](int x, int) { return Px{x * 200, x * 100, x * 50, 255}; });
  SelectWhole();
  SetParamValue(kEnlarge, 2, 3);  // X Dim
  SetParamValue(kEnlarge, 3, 1);  // Y Dim
  SetParamValue(kEnlarge, 4, 0);  // a new image
  ASSERT_EQ(Apply(kEnlarge), 0);
  ImageRecord* wide = Ctx().result;
  ASSERT_EQ(wide->width, 3);
  EXPECT_EQ(At(wide, 0, 0), (Px{0, 0, 0, 255}));
  EXPECT_EQ(At(wide, 1, 0), (Px{100, 50, 25, 255}));  // halfway, in 256ths
  EXPECT_EQ(At(wide, 2, 0), (Px{200, 100, 50, 255}));  // the last column repeats
  EXPECT_EQ(wide->parent, image);
  // Reduce takes every other column; outside the selection is clear.
  Add(4, 2, [](int x, int) { return Px{x * 60, 0, 0, 255}; });
  Select(0, 0, 3, 0);
  SetParamValue(kReduce, 2, 2);
  SetParamValue(kReduce, 3, 2);
  SetParamValue(kReduce, 4, 0);
  ASSERT_EQ(Apply(kReduce), 0);
  ImageRecord* half = Ctx().result;
  EXPECT_EQ(At(half, 0, 0), (Px{0, 0, 0, 255}));
  EXPECT_EQ(At(half, 1, 0), (Px{120, 0, 0, 255}));
  EXPECT_EQ(half->originX, 0);
}

// A zoom that rounds to nothing still gives a pixel; a size past the image
// limit (its product past 32 bits) is refused before anything is made.
TEST_F(CollageTest, ResizeSizesAreAtLeastOneAndWithinTheLimit) {
  ImageRecord* image = Add(4, 4, Noise);
  SelectWhole();
  SetParamValue(kReduce, 0, 1);  // X Size 1 %
  SetParamValue(kReduce, 1, 1);
  SetParamValue(kReduce, 4, 0);
  SetParamValue(kReduce, 5, 1);  // Constant zoom
  ASSERT_EQ(Apply(kReduce), 0);
  EXPECT_EQ(Ctx().result->width, 1);
  EXPECT_EQ(Ctx().result->height, 1);
  const int images = ImageCount();
  const auto before = Pixels(image);
  SetParamValue(kEnlarge, 2, 99999);
  SetParamValue(kEnlarge, 3, 99999);
  SetParamValue(kEnlarge, 4, 1);
  host->messages.clear();
  EXPECT_EQ(Apply(kEnlarge), 1);
  ASSERT_FALSE(host->messages.empty());
  EXPECT_EQ(host->messages.back().number, 70);
  EXPECT_EQ(ImageCount(), images);
  EXPECT_EQ(image->width, 4);
  EXPECT_EQ(Pixels(image), before);
}

TEST_F(CollageTest, ReplaceResizesInPlaceAndUndoGivesTheWholeImageBack) {
  ImageRecord* image = Add(9, 7, Noise);
  image->dpiXNum = 72, image->dpiXDen = 1;
  image->changed = 4;
  const auto before = Pixels(image);
  Select(2, 1, 5, 4);
  SetParamValue(kEnlarge, 2, 8);
  SetParamValue(kEnlarge, 3, 8);
  SetParamValue(kEnlarge, 4, 1);  // Replace
  const int images = ImageCount();
  ASSERT_EQ(Apply(kEnlarge), 0);
  EXPECT_EQ(ImageCount(), images);
  EXPECT_EQ(image->width, 8);
  EXPECT_EQ(image->height, 8);
  EXPECT_EQ(image->changed, 1);
  EXPECT_EQ(image->dpiXNum, 72);
  EXPECT_EQ(At(image, 0, 0), Noise(2, 1));
  EXPECT_EQ(At(image, 7, 7), Noise(5, 4));
  ASSERT_EQ(Undo(), 0);
  EXPECT_EQ(image->width, 9);
  EXPECT_EQ(image->height, 7);
  EXPECT_EQ(Pixels(image), before);
  ASSERT_EQ(DeUndo(), 0);
  EXPECT_EQ(image->width, 8);
  EXPECT_EQ(At(image, 7, 7), Noise(5, 4));
}

// ---- laying pictures in -----------------------------------------------------

TEST_F(CollageTest, PlaceCentresThePictureAndCutsItAtTheEdges) {
  ImageRecord* image = Add(10, 8, [](int, int) { return Px{0, 0, 0, 255}; });
  Source(4, 2, [](int x, int y) { return Px{10 + x, 20 + y, 30, 255}; });
  Select(3, 3, 7, 5);  // centre (5, 4)
  ASSERT_EQ(Apply(kPlace), 0);
  for (int y = 0; y < 8; ++y)
    for (int x = 0; x < 10; ++x) {
      const bool inside = x >= 3 && x <= 6 && y >= 3 && y <= 4;
      EXPECT_EQ(At(image, x, y), inside ? (Px{10 + x - 3, 20 + y - 3, 30, 255}) : (Px{0, 0, 0, 255})) << x << "," << y;
    }
  // A picture larger than the image: its centre on the selection's, the rest cut.
  Source(20, 20, [](int x, int y) { return Px{x, y, 99, 255}; });
  ASSERT_EQ(Apply(kPlace), 0);
  EXPECT_EQ(At(image, 0, 0), (Px{5, 6, 99, 255}));
  EXPECT_EQ(At(image, 9, 7), (Px{14, 13, 99, 255}));
  // Half-transparent picture, only in the area: weight m x alpha.
  Source(2, 2, [](int, int) { return Px{255, 255, 255, 128}; });
  SetParamValue(kPlace, 0, 1);
  Select(4, 4, 5, 4);
  const Px old = At(image, 4, 4), beside = At(image, 4, 3);
  ASSERT_EQ(Apply(kPlace), 0);
  EXPECT_EQ(At(image, 4, 4)[0], (255 * 128 + old[0] * 127) / 255);
  EXPECT_EQ(At(image, 4, 3), beside);  // in the box, outside the area
}

TEST_F(CollageTest, MergeStretchesCornerToCornerOrRowByRowAlongTheShape) {
  ImageRecord* image = Add(12, 12, [](int, int) { return Px{0, 0, 0, 255}; });
  ImageRecord* source = Source(2, 2, [](int x, int y) { return Px{x ? 0 : 255, y * 200, x ? 255 : 0, 255}; });
  Select(2, 2, 6, 6);
  ASSERT_EQ(Apply(kMerge), 0);
  EXPECT_EQ(At(image, 2, 2), (Px{255, 0, 0, 255}));
  EXPECT_EQ(At(image, 6, 2), (Px{0, 0, 255, 255}));
  EXPECT_EQ(At(image, 6, 6), (Px{0, 200, 255, 255}));
  EXPECT_EQ(At(image, 7, 7), (Px{0, 0, 0, 255}));
  // An ellipse: near its top the row is short, so without the warp its
  // first pixel lies inside the rectangle and mixes both columns; with the
  // warp it starts on the picture's first opaque column (red, no blue).
  for (int warp : {0, 1}) {
    ImageRecord* black = Add(12, 12, [](int, int) { return Px{0, 0, 0, 255}; });
    SetParamValue(kMerge, 0, warp);
    SelectEllipse(6, 6, 5, 5);
    ASSERT_EQ(Apply(kMerge), 0);
    int x = 0;
    while (x < 11 && At(black, x, 2) == (Px{0, 0, 0, 255})) ++x;
    EXPECT_GT(At(black, x, 2)[0], 0);
    EXPECT_EQ(At(black, x, 2)[2] > 0, warp == 0);
  }
  // A fully transparent picture changes nothing.
  LockImage(source);
  for (int i = 0; i < 4; ++i) source->pixels[i * 4 + 3] = 0;
  UnlockImage(source);
  const auto before = Pixels(ActionImage());
  ASSERT_EQ(Apply(kMerge), 0);
  EXPECT_EQ(Pixels(ActionImage()), before);
}

TEST_F(CollageTest, KeyInKeysTheSourceOrTheImage) {
  // Defaults: key (0, 0, 255) +/- 20, "On Source", soft: blue in the
  // picture is transparent, other colours lay in whole.
  ImageRecord* image = Add(4, 4, [](int, int) { return Px{100, 100, 100, 255}; });
  Source(4, 4, [](int x, int) { return x == 0 ? Px{0, 0, 255, 255} : Px{255, 0, 0, 255}; });
  SelectWhole();
  ASSERT_EQ(Apply(kKeyIn), 0);
  EXPECT_EQ(At(image, 0, 1), (Px{100, 100, 100, 255}));
  EXPECT_EQ(At(image, 1, 1), (Px{255, 0, 0, 255}));
  // "On Source" off, hard: the picture shows only where the image is near the key.
  ImageRecord* second = Add(4, 4, [](int x, int) { return x == 3 ? Px{0, 0, 250, 255} : Px{100, 100, 100, 255}; });
  Source(4, 4, [](int, int) { return Px{9, 8, 7, 255}; });
  TheProgram().images.currentAction = second;
  SetParamValue(kKeyIn, 6, 0);
  SetParamValue(kKeyIn, 8, 0);
  SelectWhole();
  ASSERT_EQ(Apply(kKeyIn), 0);
  EXPECT_EQ(At(second, 3, 2), (Px{9, 8, 7, 255}));
  EXPECT_EQ(At(second, 1, 2), (Px{100, 100, 100, 255}));
}

// ---- alpha ------------------------------------------------------------------

TEST_F(CollageTest, MakeAlphaFromTheSelectionAndThePicturesBrightness) {
  ImageRecord* image = Add(8, 8, [](int, int) { return Px{50, 50, 50, 200}; });
  Select(2, 2, 5, 5);
  SetParamValue(kMakeAlpha, 2, 2);  // subtract: outside the mask the alpha stays
  ASSERT_EQ(Apply(kMakeAlpha), 0);
  EXPECT_EQ(At(image, 3, 3)[3], 0);
  EXPECT_EQ(At(image, 0, 0)[3], 200);
  SetParamValue(kMakeAlpha, 2, 0);  // the selection becomes the alpha
  ASSERT_EQ(Apply(kMakeAlpha), 0);
  EXPECT_EQ(At(image, 3, 3)[3], 255);
  EXPECT_EQ(At(image, 7, 0)[3], 0);
  EXPECT_TRUE(image->hasAlpha);
  // With a black picture nothing is let through; white lets all through in the middle.
  SetParamValue(kMakeAlpha, 1, 1);
  Source(3, 3, [](int, int) { return Px{0, 0, 0, 255}; });
  ASSERT_EQ(Apply(kMakeAlpha), 0);
  EXPECT_EQ(At(image, 3, 3)[3], 0);
  Source(3, 3, [](int, int) { return Px{255, 255, 255, 255}; });
  ASSERT_EQ(Apply(kMakeAlpha), 0);
  EXPECT_EQ(At(image, 3, 3)[3], 255);  // the picture's pixel (2, 2) exactly
  EXPECT_LT(At(image, 5, 5)[3], 255);  // half off the picture's edge
}

TEST_F(CollageTest, SoftenAlphaRampsHardEdgesOnly) {
  // A hard opaque square over alpha 0: the outside stays 0, the border ramps.
  ImageRecord* image = Add(30, 30, [](int x, int y) {
    const bool in = x >= 5 && x < 25 && y >= 5 && y < 25;
    return Px{9, 9, 9, in ? 255 : 0};
  });
  image->hasAlpha = 1;
  SelectWhole();
  SetParamValue(kSoftenAlpha, 0, 5);
  ASSERT_EQ(Apply(kSoftenAlpha), 0);
  EXPECT_EQ(At(image, 4, 15)[3], 0);
  EXPECT_EQ(At(image, 5, 15)[3], 42);   // 255 / 6
  EXPECT_EQ(At(image, 6, 15)[3], 85);
  EXPECT_EQ(At(image, 9, 15)[3], 212);
  EXPECT_EQ(At(image, 10, 15)[3], 255);
  // An opaque image without alpha has no edge: nothing changes but the plane.
  ImageRecord* flat = Add(6, 6, Noise);
  flat->hasAlpha = 0;
  const auto before = Pixels(flat);
  SelectWhole();
  ASSERT_EQ(Apply(kSoftenAlpha), 0);
  EXPECT_EQ(Pixels(flat), before);
  EXPECT_TRUE(flat->hasAlpha);
}

// The ramp reaches radius - 1 pixels past the selection: undo must too.
TEST_F(CollageTest, UndoAfterSoftenAlphaRestoresPixelsBeyondTheSelection) {
  ImageRecord* image = Add(21, 21, [](int x, int y) { return Px{x, y, 1, x == 10 && y == 10 ? 0 : 255}; });
  image->hasAlpha = 1;
  const auto before = Pixels(image);
  Select(9, 9, 11, 11);
  SetParamValue(kSoftenAlpha, 0, 5);
  ASSERT_EQ(Apply(kSoftenAlpha), 0);
  EXPECT_LT(At(image, 6, 10)[3], 255);  // four pixels outside the selection
  ASSERT_EQ(Undo(), 0);
  EXPECT_EQ(Pixels(image), before);
}

TEST_F(CollageTest, ShaveAlphaFlattensABumpAndLeavesAOnePixelImage) {
  ImageRecord* image = Add(5, 5, [](int x, int y) {
    if (x == 2 && y == 2) return Px{0, 0, 0, 200};
    if (x == 1 && y == 2) return Px{0, 0, 0, 80};
    if (x == 3 && y == 2) return Px{0, 0, 0, 120};
    return Px{0, 0, 0, 100};
  });
  Select(2, 2, 2, 2);
  SetParamValue(kShaveAlpha, 0, 1);
  ASSERT_EQ(Apply(kShaveAlpha), 0);
  EXPECT_EQ(At(image, 2, 2)[3], 100);  // (80 + 120) / 2
  // Within its ring's range a pixel is no bump.
  ASSERT_EQ(Apply(kShaveAlpha), 0);
  EXPECT_EQ(At(image, 2, 2)[3], 100);
  // A single pixel has no ring inside the image: it stays as it is.
  ImageRecord* dot = Add(1, 1, [](int, int) { return Px{1, 2, 3, 77}; });
  SelectWhole();
  ASSERT_EQ(Apply(kShaveAlpha), 0);
  EXPECT_EQ(At(dot, 0, 0), (Px{1, 2, 3, 77}));
}

// ---- Make Area ----------------------------------------------------------------

TEST_F(CollageTest, MakeAreaReplacesTheCursorCellAndHandsBackTheOperation) {
  Add(10, 10, Noise);
  TheProgram().ops.current = 3181;  // Contrast
  ASSERT_EQ(SelectOperation(static_cast<int>(kMakeArea)), 0);
  TheProgram().anim.timeline.cursor.level = 0;
  TheProgram().anim.timeline.cursor.frame = 2;
  Select(1, 1, 4, 4);
  ASSERT_EQ(Apply(kMakeArea), 0);
  const Cell first = CellAt(0, 2, kRowArea);
  ASSERT_TRUE(IsRecordCell(first));
  EXPECT_EQ(CellAt(0, 6, kRowArea), kCellHoldEnd);
  EXPECT_EQ(CurrentOp(), 3181u);
  // Again at the same cell: the record there is replaced, not added beside.
  Select(2, 2, 5, 5);
  ASSERT_EQ(Apply(kMakeArea), 0);
  const Cell second = CellAt(0, 2, kRowArea);
  EXPECT_TRUE(IsRecordCell(second));
  EXPECT_EQ(CellAt(0, 3, kRowArea), kCellHold);
  // With the dialog's switch off the TimeLine stays as it is.
  Pipeline().collage.updateTimeLine = false;
  TheProgram().anim.timeline.cursor.frame = 4;
  ASSERT_EQ(Apply(kMakeArea), 0);
  EXPECT_FALSE(IsRecordCell(CellAt(0, 4, kRowArea)));
}

// Every operation on a one-pixel image, with one-pixel, larger and
// transparent sources (run under ASan in the sanitizer build).
TEST_F(CollageTest, TinyImagesAndSourcesDoNotBreakAnything) {
  for (int sourceSide : {1, 5}) {
    for (OpId op : {kClip, kClipAlpha, kPlace, kMerge, kKeyIn, kEnlarge, kReduce, kMakeAlpha, kSoftenAlpha,
                    kShaveAlpha, kMakeArea}) {
      Add(1, 1, Noise);
      Source(sourceSide, sourceSide, [](int x, int) { return Px{x, 0, 0, x % 2 ? 0 : 255}; });
      SelectWhole();
      SetParamValue(kMakeAlpha, 1, 1);
      SetParamValue(kMerge, 0, 1);
      const int result = Apply(op);
      EXPECT_TRUE(result == 0) << OpName(op) << " " << result;
    }
  }
}

}  // namespace
}  // namespace qv::test
