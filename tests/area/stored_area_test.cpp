#include "area/stored_area.h"

#include <cstring>

#include "area/area_files.h"
#include "area_test_support.h"
#include "support/program_fixture.h"

namespace qv {
namespace {

using namespace qv::test;

class StoredAreaTest : public ProgramTest {
 protected:
  // A stored record of a box mode drawn on an image of w x h.
  StoredArea* Boxed(int mode, int l, int t, int r, int b, int w = 100, int h = 80) {
    Sel().mode = static_cast<std::int16_t>(mode);
    Sel().imageWidth = w, Sel().imageHeight = h;
    SetSelectionBox(Sel(), l, t, r, b);
    return StoreArea(mode);
  }
  StoredArea* Outline(int mode, std::initializer_list<std::pair<int, int>> pts, int level = 255) {
    Sel().mode = static_cast<std::int16_t>(mode);
    Sel().imageWidth = 20, Sel().imageHeight = 20;
    Sel().transparencyLevel = level;
    Points(Sel().capture, pts);
    StoredArea* r = StoreArea(mode);
    Sel().transparencyLevel = 255;
    return r;
  }
};

TEST_F(StoredAreaTest, BoxesBlendThroughARoundRectAndEntireIsTheImageRectangle) {
  StoredArea* rect = Boxed(kAreaRectangle, 10, 10, 30, 30);
  StoredArea* ellipse = Boxed(kAreaEllipse, 50, 20, 90, 60);
  EXPECT_EQ(InterpolateArea(*rect, *ellipse, 0, 10, 0, 20).record, rect);
  EXPECT_EQ(InterpolateArea(*rect, *ellipse, 0, 10, 10, 20).record, ellipse);
  AreaChoice mid = InterpolateArea(*rect, *ellipse, 0, 10, 5, 20);
  ASSERT_FALSE(mid.tween);
  EXPECT_EQ(mid.record->mode, kAreaRoundRect);
  EXPECT_EQ(mid.record->roundness, 50);
  EXPECT_EQ(mid.record->left, 30);
  EXPECT_EQ(mid.record->top, 15);
  EXPECT_EQ(mid.record->right, 60);
  EXPECT_EQ(mid.record->bottom, 45);

  // The next key at frame 0 is reached at the frame count, not behind us.
  AreaChoice wrapped = InterpolateArea(*ellipse, *rect, 10, 0, 15, 20);
  EXPECT_EQ(wrapped.record->roundness, 50);
  EXPECT_EQ(wrapped.record->left, 30);

  StoredArea* entire = NewStoredArea(kAreaEntire);
  entire->maskWidth = 100, entire->maskHeight = 80;
  StoredArea* small = Boxed(kAreaRectangle, 40, 30, 60, 50);
  int previous = 100;
  for (int f = 1; f < 4; ++f) {
    AreaChoice c = InterpolateArea(*entire, *small, 0, 4, f, 20);
    ASSERT_FALSE(c.tween);
    EXPECT_EQ(c.record->roundness, 0);
    EXPECT_LT(c.record->right - c.record->left, previous);
    previous = c.record->right - c.record->left;
  }
  EXPECT_EQ(InterpolateArea(*entire, *small, 0, 4, 2, 20).record->left, 20);
  for (StoredArea* r : {rect, ellipse, entire, small}) FreeStoredArea(r);
}

TEST_F(StoredAreaTest, ShapesOfDifferentKindsAreTweenedAndLikeOnesBlended) {
  StoredArea* a = Outline(kAreaFreehand, {{1, 1}, {5, 1}, {5, 5}});
  StoredArea* b = Outline(kAreaFreehand, {{8, 8}, {12, 8}, {12, 12}});
  AreaChoice c = InterpolateArea(*a, *b, 0, 4, 2, 10);
  EXPECT_TRUE(c.tween);
  EXPECT_EQ(c.record, a);

  StoredArea* s1 = Boxed(kAreaIShape, 0, 0, 10, 10);
  StoredArea* s2 = Boxed(kAreaIShape, 10, 10, 30, 30);
  EXPECT_FALSE(InterpolateArea(*s1, *s2, 0, 4, 2, 10).tween);
  std::strcpy(s2->shapeName, "Star");
  EXPECT_TRUE(InterpolateArea(*s1, *s2, 0, 4, 2, 10).tween);

  StoredArea* n1 = Boxed(kAreaNumRect, 0, 0, 10, 10);
  StoredArea* n2 = Boxed(kAreaNumRect, 20, 0, 30, 10);
  n2->level = 55;
  n2->rotation = 90.0f;
  AreaChoice blended = InterpolateArea(*n1, *n2, 0, 4, 1, 10);
  ASSERT_FALSE(blended.tween);
  EXPECT_EQ(blended.record->mode, kAreaNumRect);
  EXPECT_EQ(blended.record->left, 5);
  EXPECT_EQ(blended.record->level, 255 - 50);
  EXPECT_FLOAT_EQ(blended.record->rotation, 22.5f);
  for (StoredArea* r : {a, b, s1, s2, n1, n2}) FreeStoredArea(r);
}

TEST_F(StoredAreaTest, AStoredSelectionRebuildsItsMaskWithItsOwnCombination) {
  ImageRecord* image = Picture(20, 20);
  StoredArea* tri = Outline(kAreaPolygon, {{2, 2}, {17, 2}, {9, 17}, {2, 2}});
  ASSERT_EQ(FinishSelection(image, 0, 0), 0);
  const auto drawn = MaskBytes();
  ClearAreaSelection();
  ASSERT_EQ(ApplyStoredArea(*tri, image, 0), 0);
  EXPECT_EQ(Art(MaskBytes(), 20), Art(drawn, 20));

  // The record's Intersection decides, whatever the toolbox shows now.
  Area().combination = AreaCombination::Union;
  StoredArea* band = Boxed(kAreaRectangle, 0, 8, 19, 12, 20, 20);
  band->modify = 2;
  band->level = 128;
  ASSERT_EQ(ApplyStoredArea(*band, image, 0), 0);
  EXPECT_EQ(Area().combination, AreaCombination::Union);
  auto mask = MaskBytes();
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) {
      // Inside both, at the band's own level.
      int expected = (y >= 8 && y <= 12 && drawn[y * 20 + x]) ? 128 : 0;
      EXPECT_EQ(mask[y * 20 + x], expected) << x << "," << y;
    }
  FreeStoredArea(tri);
  FreeStoredArea(band);
}

TEST_F(StoredAreaTest, TweenGoesFromOneMaskToTheOtherRowByRow) {
  // Two squares of different levels: half-way is the box half-way, at the
  // level half-way, worked out here by hand.
  ImageRecord* image = Picture(20, 20);
  StoredArea* a = Outline(kAreaFreehand, {{2, 2}, {5, 2}, {5, 5}, {2, 5}, {2, 2}}, 100);
  StoredArea* b = Outline(kAreaFreehand, {{10, 8}, {17, 8}, {17, 15}, {10, 15}, {10, 8}}, 200);
  ASSERT_EQ(AreaForFrame(*a, *b, 0, 4, 2, 10, image, 0), 0);
  EXPECT_MASK(Expected(20, 20, [](int x, int y) { return x >= 6 && x <= 11 && y >= 5 && y <= 10 ? 150 : 0; }), 20);
  EXPECT_EQ(Sel().left, 6);
  EXPECT_EQ(Sel().bottom, 10);
  // The ends are the two masks themselves.
  ASSERT_EQ(AreaForFrame(*a, *b, 0, 4, 4, 10, image, 0), 0);
  EXPECT_MASK(Expected(20, 20, [](int x, int y) { return x >= 10 && x <= 17 && y >= 8 && y <= 15 ? 200 : 0; }), 20);
  FreeStoredArea(a);
  FreeStoredArea(b);
}

TEST_F(StoredAreaTest, RowsAboveTheFirstRunTakeThatRunNotAnEmptyOne) {
  // A's box reaches above its shape (as a shrunk selection's does).
  const int w = 12, h = 12;
  std::vector<std::uint8_t> a(w * h, 0), b(w * h, 0), out(w * h, 0xEE);
  for (int y = 5; y <= 9; ++y)
    for (int x = 2; x <= 7; ++x) a[y * w + x] = 255;
  for (int y = 0; y <= 9; ++y)
    for (int x = 2; x <= 7; ++x) b[y * w + x] = 255;
  MaskBox box{2, 0, 7, 9};
  MaskBox got = TweenMasks(a.data(), box, b.data(), box, w, h, 0, 4, out.data());
  EXPECT_EQ(Art(out, w), Art(a, w));
  EXPECT_EQ(got.top, 0);
  TweenMasks(a.data(), box, b.data(), box, w, h, 4, 4, out.data());
  EXPECT_EQ(Art(out, w), Art(b, w));
  // Nothing selected at all in A: B fades in over the same columns.
  std::vector<std::uint8_t> none(w * h, 0);
  TweenMasks(none.data(), box, b.data(), box, w, h, 2, 4, out.data());
  EXPECT_EQ(out[0 * w + 4], 127);
  EXPECT_EQ(out[11 * w + 4], 0);
}

TEST_F(StoredAreaTest, RecordsOwnTheirPointsAndTextAndGiveThemBack) {
  Sel().mode = kAreaFont;
  Sel().fontText = std::string(300, 'x');
  Points(Sel().outline, {{1, 2}, {3, 4}});
  const int before = TheProgram().memory.placesInUse;
  StoredArea* r = StoreArea(kAreaFont);
  ASSERT_TRUE(r);
  EXPECT_EQ(StoredText(*r).size(), 300u);
  EXPECT_EQ(r->pointCount, 2);
  StoredArea* copy = CopyStoredArea(*r);
  ASSERT_TRUE(copy);
  EXPECT_NE(copy->points, r->points);
  EXPECT_EQ(StoredText(*copy), StoredText(*r));
  FreeStoredArea(r);
  EXPECT_EQ(copy->points[1].y, 4);
  FreeStoredArea(copy);
  EXPECT_EQ(TheProgram().memory.placesInUse, before);
}

}  // namespace
}  // namespace qv
