#include "display/views.h"

#include <algorithm>
#include <cstring>

#include "app/frame.h"
#include "display/render.h"
#include "ops/apply.h"
#include "support/program_fixture.h"

namespace qv {
namespace {

class ViewsTest : public test::ProgramTest {
 protected:
  ImageRecord* Image(int w, int h, const char* name) {
    ImageRecord* image = CreateLockedImage(w, h, "test");
    std::snprintf(image->name, sizeof image->name, "%s", name);
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        std::uint8_t* p = PixelAt(image, x, y);
        p[0] = 200, p[1] = 100, p[2] = 50, p[3] = 255;
      }
    UnlockImage(image);
    AddImage(image, false);
    return image;
  }
  static void Client(ViewRecord* v, int w, int h) {
    v->clientWidth = w;
    v->clientHeight = h;
  }
};

TEST_F(ViewsTest, TitlesNumberSeveralViewsAndShowTheZoom) {
  ImageRecord* a = Image(200, 100, "a.bmp");
  ViewRecord* first = OpenView(a);
  Client(first, 401, 201);
  RefreshViewTitles(a);
  EXPECT_EQ(SlotOf(first)->title, "View - a.bmp (2:1)");
  Client(first, 301, 151);
  EXPECT_EQ(ViewTitle(first), "View - a.bmp (1.50:1)");
  Client(first, 200, 100);
  EXPECT_EQ(ViewTitle(first), "View - a.bmp (1:1)");
  Client(first, 101, 51);
  EXPECT_EQ(ViewTitle(first), "View - a.bmp (1:2)");

  ViewRecord* second = OpenView(a);
  Client(second, 200, 100);
  RefreshViewTitles(a);
  EXPECT_EQ(SlotOf(first)->title, "View[1] - a.bmp (1:2)");
  EXPECT_EQ(SlotOf(second)->title, "View[2] - a.bmp (1:1)");
  SetAlphaView(second, true);
  EXPECT_EQ(SlotOf(second)->title, "Alpha[2] - a.bmp (1:1)");

  // Closing one of two views keeps the image and renumbers the other.
  EXPECT_TRUE(CloseView(first));
  EXPECT_EQ(ImageIndex(a), 0);
  EXPECT_EQ(SlotOf(second)->title, "Alpha - a.bmp (1:1)");
  // A zoomed view's suffix follows the region, not the image.
  SetAlphaView(second, false);
  MagnifyView(second, 0, 0, 100, 50, false);
  ASSERT_EQ(second->right - second->left + 1, 100);
  Client(second, 201, 101);
  RefreshViewTitles(a);
  EXPECT_EQ(SlotOf(second)->title, "View - a.bmp (2:1)");
}

TEST_F(ViewsTest, ClosingTheLastViewOffersToSaveAChangedImage) {
  ImageRecord* a = Image(20, 10, "a.bmp");
  ViewRecord* v = OpenView(a);
  a->changed = 1;
  v->renderState = 1;
  EXPECT_FALSE(CloseView(v));  // never while rendering
  v->renderState = 0;
  host->answers.push_back(0);  // Cancel
  EXPECT_FALSE(CloseView(v));
  ASSERT_EQ(host->messages.size(), 1u);
  EXPECT_EQ(host->messages[0].dialog, "AskSave");
  EXPECT_EQ(ImageIndex(a), 0);
  EXPECT_EQ(AllViews().size(), 1u);
  host->answers.push_back(2);  // Lose Changes
  EXPECT_TRUE(CloseView(v));
  EXPECT_EQ(ImageCount(), 0);
  EXPECT_TRUE(AllViews().empty());
  // The slot is used again by the next view.
  ImageRecord* b = Image(20, 10, "b.bmp");
  EXPECT_EQ(OpenView(b), v);
}

// Images also leave the table without their views being closed first:
// "Remove Other Images", and an Exit stopped at a later image's question.
// Their views must go with them, windows included.
TEST_F(ViewsTest, ViewsGoWithTheirImageHoweverItIsRemoved) {
  ImageRecord* a = Image(20, 10, "a.bmp");
  ImageRecord* b = Image(20, 10, "b.bmp");
  ImageRecord* c = Image(20, 10, "c.bmp");
  ViewRecord* a1 = OpenView(a);
  ViewRecord* b1 = OpenView(b);
  ViewRecord* b2 = OpenView(b);
  ViewRecord* c1 = OpenView(c);
  b->changed = 1;
  TheProgram().images.currentAction = a;
  ASSERT_EQ(Apply(kRemoveOtherImages, 0), 0);
  EXPECT_EQ(ImageCount(), 1);
  EXPECT_EQ(AllViews(), std::vector<ViewRecord*>{a1});
  EXPECT_EQ(host->closedWindows, (std::vector<ViewRecord*>{c1, b1, b2}));  // last image first
  for (ViewRecord* v : {b1, b2, c1}) EXPECT_EQ(v->image, nullptr);
  EXPECT_TRUE(host->messages.empty());  // no save offered for b

  // Exit: the first image is let go, the second one's question is cancelled.
  ImageRecord* d = Image(20, 10, "d.bmp");
  ViewRecord* d1 = OpenView(d);
  a->changed = d->changed = 1;
  host->answers = {2, 0};  // Lose Changes for d, Cancel for a
  EXPECT_EQ(ShutDown(), 1);
  EXPECT_EQ(AllViews(), std::vector<ViewRecord*>{a1});
  EXPECT_EQ(d1->image, nullptr);
  EXPECT_EQ(a1->image, a);
}

TEST_F(ViewsTest, ConversionsRoundTrip) {
  ImageRecord* a = Image(200, 100, "a.bmp");
  ViewRecord* v = OpenView(a);
  // Magnified, stretch mapping: each image pixel's block centre maps back.
  Client(v, 401, 250);
  for (int x = 0; x < 200; ++x) ASSERT_EQ(WindowToImageX(*v, ImageToWindowX(*v, x)), x) << x;
  for (int y = 0; y < 100; ++y) ASSERT_EQ(WindowToImageY(*v, ImageToWindowY(*v, y)), y) << y;
  EXPECT_EQ(WindowToImageX(*v, 400), 199);
  // Reduced: the edges meet the edges.
  Client(v, 90, 40);
  EXPECT_EQ(WindowToImageX(*v, 89), 199);
  EXPECT_EQ(ImageToWindowX(*v, 199), 89);
  EXPECT_EQ(ImageToWindowY(*v, 99), 39);
  // Zoomed in, region mapping.
  Client(v, 400, 200);
  MagnifyView(v, 100, 50, 300, 150, false);
  ASSERT_EQ(v->zoomKind, kZoomIn);
  EXPECT_EQ(v->left, 100 * 199 / 400);
  for (int x = v->left; x < v->right; ++x) ASSERT_EQ(WindowToImageX(*v, ImageToWindowX(*v, x)), x) << x;
  for (int y = v->top; y < v->bottom; ++y) ASSERT_EQ(WindowToImageY(*v, ImageToWindowY(*v, y)), y) << y;
  // A one-pixel client does not divide by zero.
  Client(v, 1, 1);
  EXPECT_EQ(WindowToImageX(*v, 0), v->left);
}

TEST_F(ViewsTest, ZoomHistoryRetracesAndCtrlResets) {
  ImageRecord* a = Image(400, 200, "a.bmp");
  ViewRecord* v = OpenView(a);
  ViewRecord* other = OpenView(a);
  Client(v, 400, 200);
  Client(other, 400, 200);
  MagnifyView(v, 0, 0, 200, 100, false);
  const std::int32_t r1[4] = {v->left, v->top, v->right, v->bottom};
  MagnifyView(other, 0, 0, 100, 100, false);  // another view's zoom is its own
  MagnifyView(v, 100, 50, 300, 150, false);
  EXPECT_LT(v->right - v->left, r1[2] - r1[0]);
  DemagnifyView(v);
  EXPECT_EQ(v->zoomKind, kZoomIn);
  EXPECT_EQ((std::array<std::int32_t, 4>{v->left, v->top, v->right, v->bottom}),
            (std::array<std::int32_t, 4>{r1[0], r1[1], r1[2], r1[3]}));
  DemagnifyView(v);
  EXPECT_EQ(v->zoomKind, kZoomNone);
  EXPECT_EQ(v->right, 399);
  EXPECT_EQ(v->bottom, 199);
  EXPECT_EQ(other->zoomKind, kZoomIn);

  // Two zoomed views: the command waits for a click; a click on an unzoomed
  // view is refused.
  MagnifyView(v, 0, 0, 50, 50, false);
  EXPECT_EQ(DemagnifyCommand(), 0);
  EXPECT_EQ(TheProgram().views.tool, ViewTool::ChooseDemagnify);
  MagnifyView(v, 0, 0, 0, 0, true);
  EXPECT_EQ(v->zoomKind, kZoomNone);
  EXPECT_EQ(DemagnifyChosen(v), 1);
  EXPECT_EQ(host->MessageNumbers().back(), 40);
  // Only one zoomed view left: applied at once; then none: message 31.
  EXPECT_EQ(DemagnifyCommand(), 0);
  EXPECT_EQ(other->zoomKind, kZoomNone);
  EXPECT_EQ(DemagnifyCommand(), 1);
  EXPECT_EQ(host->MessageNumbers().back(), 31);
  EXPECT_TRUE(TheProgram().views.history.empty());
}

TEST_F(ViewsTest, DemagnifiedViewShowsMarginsInBackColour) {
  ImageRecord* a = Image(40, 20, "a.bmp");
  ViewRecord* v = OpenView(a);
  Client(v, 40, 20);
  // The command finds no zoomed view, one view or many.
  EXPECT_EQ(DemagnifyCommand(), 1);
  EXPECT_EQ(host->MessageNumbers(), std::vector<int>{31});
  EXPECT_EQ(v->zoomKind, kZoomNone);
  DemagnifyView(v);
  EXPECT_EQ(v->zoomKind, kZoomOut);
  EXPECT_LT(v->left, 0);
  EXPECT_GT(v->right, 39);
  TheProgram().display.backColour = {1, 2, 3};
  PlaceHandle dib = RenderView(a, v, nullptr, kModeRgb24, 0, 19);
  ASSERT_NE(dib, nullptr);
  auto bytes = DibBytes(dib);
  DibLayout layout;
  ASSERT_TRUE(ReadDibLayout(bytes, layout));
  const std::uint32_t back = 3 | 2 << 8 | 1 << 16, inside = 50 | 100 << 8 | 200 << 16;
  EXPECT_EQ(DibPixel(bytes, layout, 0, 0), back);
  EXPECT_EQ(DibPixel(bytes, layout, 39, 19), back);
  EXPECT_EQ(DibPixel(bytes, layout, 20, 10), inside);
  // The picture is two thirds of the window across: the margins are a sixth.
  int margin = 0;
  while (DibPixel(bytes, layout, margin, 10) == back) ++margin;
  EXPECT_NEAR(margin, 40 / 6, 1);
  FreeVirtual(dib);
}

TEST_F(ViewsTest, ScrollingKeepsTheRegionInsideTheImage) {
  ImageRecord* a = Image(100, 100, "a.bmp");
  ViewRecord* v = OpenView(a);
  Client(v, 100, 100);
  MagnifyView(v, 40, 40, 60, 60, false);
  const int w = v->right - v->left, left = v->left;
  ScrollView(v, false, ScrollAction::LineForward);
  EXPECT_EQ(v->left, left) << "nothing moves while a render is pending";
  v->reRender = 0;
  ScrollView(v, false, ScrollAction::LineForward);
  EXPECT_EQ(v->left, left + (w + 7) / 8);
  for (int i = 0; i < 20; ++i) ScrollView(v, false, ScrollAction::PageForward);
  EXPECT_EQ(v->right, 100);
  EXPECT_EQ(v->right - v->left, w);
  EXPECT_EQ(ScrollPosition(*v, false), 1000);
  ScrollView(v, true, ScrollAction::Start);
  EXPECT_EQ(v->top, 0);
  EXPECT_EQ(v->bottom - v->top, w);
  ScrollView(v, true, ScrollAction::Thumb, 500);
  EXPECT_EQ(v->top, (100 - w) / 2);
  EXPECT_EQ(v->reRender, 0);
  EndScroll(v);
  EXPECT_EQ(v->reRender, 1);
}

TEST_F(ViewsTest, KeepAspectFitsThePictureIntoTheRoomGiven) {
  ImageRecord* a = Image(800, 200, "a.bmp");
  ViewRecord* v = OpenView(a);
  int w, h;
  KeepAspectClientSize(*v, 0, 1000, 1000, w, h);  // new: 1:1
  EXPECT_EQ(w, 800);
  EXPECT_EQ(h, 200);
  KeepAspectClientSize(*v, 0, 400, 1000, w, h);
  EXPECT_EQ(w, 400);
  EXPECT_EQ(h, 100);
  // Zoomed into a square: the window keeps its width and becomes square.
  Client(v, 400, 100);
  MagnifyView(v, 0, 0, 100, 100, false);
  KeepAspectClientSize(*v, 400, 1000, 1000, w, h);
  EXPECT_EQ(w, 400);
  EXPECT_NEAR(h, 400 * (v->bottom - v->top + 1) / (v->right - v->left + 1), 1);
  ResetZoom(v);
  a->dpiXNum = 100;  // pixels twice as wide as high
  a->dpiYNum = 200;
  KeepAspectClientSize(*v, 0, 4000, 4000, w, h);
  EXPECT_EQ(w, 1600);
  EXPECT_EQ(h, 200);
}

// Every window row whose image row lies in y0..y1 is inside the band, and
// the band reaches at most one image row beyond the box on either side.
void ExpectBandCovers(const RecordingHost::ViewRows& band, const ViewRecord& v, int y0, int y1) {
  const int first = v.clientHeight - band.startRow - band.rowCount, last = v.clientHeight - band.startRow - 1;
  for (int row = 0; row < v.clientHeight; ++row) {
    int iy = WindowToImageY(v, row);
    const bool inBand = row >= first && row <= last;
    if (iy >= y0 && iy <= y1) {
      EXPECT_TRUE(inBand) << "row " << row << " missing";
    }
    if (inBand) {
      EXPECT_TRUE(iy >= y0 - 1 && iy <= y1 + 1) << "row " << row << " extra";
    }
  }
}

TEST_F(ViewsTest, AChangeReRendersTheBandOfEveryViewThatShowsIt) {
  ImageRecord* a = Image(40, 20, "a.bmp");
  ViewRecord* plain = OpenView(a);
  ViewRecord* doubled = OpenView(a);
  ViewRecord* elsewhere = OpenView(a);
  Client(plain, 40, 20);
  Client(doubled, 80, 40);
  Client(elsewhere, 40, 20);
  MagnifyView(elsewhere, 30, 0, 39, 19, false);  // the right quarter only
  ASSERT_GE(elsewhere->left, 25);
  for (ViewRecord* v : AllViews()) v->reRender = 0;  // painted once already
  LockImage(a);
  PixelAt(a, 6, 5)[0] = 7;
  UnlockImage(a);

  ShowImageChange(a, 5, 4, 10, 6, {});
  ASSERT_EQ(host->viewRows.size(), 2u);  // the zoomed view shows none of it
  EXPECT_EQ(host->viewRows[0].view, plain);
  EXPECT_EQ(host->viewRows[1].view, doubled);
  EXPECT_EQ(host->viewRows[0].startRow, 20 - 7 - 1);  // rows 3..7 at 1:1
  EXPECT_EQ(host->viewRows[0].rowCount, 5);
  ExpectBandCovers(host->viewRows[0], *plain, 4, 6);
  ExpectBandCovers(host->viewRows[1], *doubled, 4, 6);
  // The band is rendered from the pixels as they are now.
  DibLayout layout;
  ASSERT_TRUE(ReadDibLayout(host->viewRows[0].dib, layout));
  EXPECT_EQ(DibPixel(host->viewRows[0].dib, layout, 6, 5), 50u | 100u << 8 | 7u << 16);

  // A change in the first row reaches the top of a magnified view, where
  // half of that row's block lies above the centre its position maps to.
  host->viewRows.clear();
  ShowImageChange(a, 0, 0, 39, 0, {});
  ASSERT_EQ(host->viewRows.size(), 3u);
  const auto& top = host->viewRows[1];
  EXPECT_EQ(top.startRow + top.rowCount, 40);
  ExpectBandCovers(top, *doubled, 0, 0);

  // A view waiting for a whole render is only repainted.
  host->viewRows.clear();
  host->invalidated.clear();
  plain->reRender = 1;
  ShowImageChange(a, 35, 0, 39, 19, {});
  EXPECT_EQ(host->viewRows.size(), 2u);
  EXPECT_EQ(std::count(host->invalidated.begin(), host->invalidated.end(), plain), 1);
}

TEST_F(ViewsTest, AChangeOfSizeRendersEveryViewWhole) {
  ImageRecord* a = Image(40, 20, "a.bmp");
  ViewRecord* zoomed = OpenView(a);
  ViewRecord* maximised = OpenView(a);
  Client(zoomed, 40, 20);
  Client(maximised, 40, 20);
  MagnifyView(zoomed, 0, 0, 20, 10, false);
  MagnifyView(maximised, 0, 0, 20, 10, false);
  maximised->placement = ViewPlacement::Maximised;
  TheProgram().settings.keepAspect = 0;
  for (ViewRecord* v : AllViews()) v->reRender = 0;
  ShowImageChange(a, 0, 0, 39, 19, {.sizeChanged = true});
  EXPECT_TRUE(host->viewRows.empty());
  EXPECT_EQ(zoomed->reRender, 1);
  EXPECT_EQ(zoomed->zoomKind, kZoomIn);  // kept: neither re-laid-out nor maximised
  EXPECT_EQ(maximised->reRender, 1);
  EXPECT_EQ(maximised->zoomKind, kZoomNone);
  TheProgram().settings.keepAspect = 1;
  ShowImageChange(a, 0, 0, 39, 19, {.sizeChanged = true});
  EXPECT_EQ(zoomed->zoomKind, kZoomNone);
  EXPECT_EQ(zoomed->right, 39);
}

TEST_F(ViewsTest, ViewNumbersAndTheActionView) {
  EXPECT_EQ(ViewAt(0), nullptr);
  EXPECT_EQ(ActionViewIndex(), 0);
  ImageRecord* a = Image(10, 10, "a.bmp");
  ImageRecord* b = Image(10, 10, "b.bmp");
  ViewRecord* va = OpenView(a);
  ViewRecord* vb = OpenView(b);
  ViewRecord* vb2 = OpenView(b);
  EXPECT_EQ(ViewAt(2), vb2);
  EXPECT_EQ(ViewAt(3), va);  // beyond the count: the first view
  EXPECT_EQ(ViewIndexOf(vb), 1);
  EXPECT_EQ(ViewWindowTitle(2, b), ViewTitle(vb2));
  EXPECT_EQ(ViewWindowTitle(0, b), ViewTitle(vb));  // the given view shows another image
  SetAlphaView(vb2, true);
  EXPECT_TRUE(ViewShowsAlpha(2));
  EXPECT_FALSE(ViewShowsAlpha(1));

  SetActionView(vb2);
  EXPECT_EQ(ActionViewIndex(), 2);
  EXPECT_EQ(TheProgram().images.currentAction, b);
  EXPECT_EQ(TheProgram().images.current, b);
  // Closed, the action view hands over to the first view of the action image.
  EXPECT_TRUE(CloseView(vb2));
  EXPECT_EQ(ActionViewIndex(), 1);
  TheProgram().images.currentAction = a;
  EXPECT_EQ(ActionViewIndex(), 0);
  EXPECT_EQ(ViewWindowTitle(0, Image(5, 5, "lone.bmp")), "lone.bmp");
}

}  // namespace
}  // namespace qv
