#include <gtest/gtest.h>

#include <cmath>

#include "display/views.h"
#include "ops/apply_test_support.h"
#include "ops/geometric_ops.h"
#include "ops/op_menu.h"
#include "ops/perspective_handles.h"

namespace qv::test {
namespace {

using Px = std::array<int, 4>;

class PerspectiveHandlesTest : public ApplyTest {
 protected:
  static constexpr int kW = 640, kH = 480;
  static PerspectiveFrame Frame() { return PerspectiveFrameFor(kW, kH, kW, kH); }
  // Presses on a handle and moves the mouse by (dx, dy).
  static void Drag(int handle, double dx, double dy, bool shift = false, bool ctrl = false) {
    const HandlePoint at = Frame().point[handle];
    const PerspectiveDrag d = BeginPerspectiveDrag(kW, kH, kW, kH, at.x, at.y, 4);
    ASSERT_EQ(d.handle, handle);
    DragPerspective(d, at.x + dx, at.y + dy, shift, ctrl);
  }
  static double Length(const PerspectiveFrame& f, int a, int b) {
    return std::hypot(f.point[a].x - f.point[b].x, f.point[a].y - f.point[b].y);
  }
};

TEST_F(PerspectiveHandlesTest, TheFrameIsWhereTheOperationPutsThePicture) {
  // Magnification equal to the distance: the picture covers the image.
  for (int slot : {5, 6, 7}) SetParamValue(kPerspective, slot, 480);
  PerspectiveFrame f = Frame();
  EXPECT_DOUBLE_EQ(f.point[kHandleTopLeft].x, 0);
  EXPECT_DOUBLE_EQ(f.point[kHandleBottomRight].y, kH);
  EXPECT_DOUBLE_EQ(f.point[kHandleCentre].x, kW / 2);

  // Turned and tipped: the box the apply selects is the frame's box.
  SetParamValue(kPerspective, 0, 20);
  SetParamValue(kPerspective, 2, 30);
  SetParamValue(kPerspective, 5, 1000);
  SetParamValue(kPerspective, 3, 40);
  ImageRecord* picture = Add(kW, kH, [](int x, int y) { return Px{x & 255, y & 255, 7, 255}; });
  Add(kW, kH, [](int, int) { return Px{0, 0, 0, 255}; });
  Pipeline().source = picture;
  SetWorkMethod(kDrawFirst);
  SelectEntireImage();
  ASSERT_EQ(FinishSelection(ActionImage(), 0, 0), 0);
  ASSERT_EQ(Apply(static_cast<int>(kPerspective), 0), 0);
  f = Frame();
  double x0 = 1e9, y0 = 1e9, x1 = -1e9, y1 = -1e9;
  for (int h = kHandleTopLeft; h <= kHandleBottomLeft; ++h) {
    x0 = std::min(x0, f.point[h].x), x1 = std::max(x1, f.point[h].x);
    y0 = std::min(y0, f.point[h].y), y1 = std::max(y1, f.point[h].y);
  }
  ASSERT_GT(x0, 0);  // all of it on the image
  ASSERT_LT(y1, kH - 1);
  const AreaSelection& s = TheProgram().area.selection;
  EXPECT_NEAR(s.left, x0, 2);
  EXPECT_NEAR(s.right, x1, 2);
  EXPECT_NEAR(s.top, y0, 2);
  EXPECT_NEAR(s.bottom, y1, 2);

  // Behind the eye: nothing to show and nothing to grab.
  SetParamValue(kPerspective, 5, -100);
  EXPECT_FALSE(Frame().Whole());
  EXPECT_EQ(BeginPerspectiveDrag(kW, kH, kW, kH, kW / 2, kH / 2, 1000).handle, kHandleNone);
}

TEST_F(PerspectiveHandlesTest, HandlesFollowTheMouse) {
  // The centre moves the picture: it lands under the mouse (a step of "X
  // Dist" is two thirds of a pixel here).
  Drag(kHandleCentre, 50, -30);
  EXPECT_NEAR(Frame().point[kHandleCentre].x, kW / 2 + 50, 0.7);
  EXPECT_NEAR(Frame().point[kHandleCentre].y, kH / 2 - 30, 0.7);
  ResetParamValues();

  // A corner stretches: it follows the mouse and the opposite corner stays.
  const HandlePoint opposite = Frame().point[kHandleTopLeft];
  const HandlePoint corner = Frame().point[kHandleBottomRight];
  Drag(kHandleBottomRight, 40, -20);
  EXPECT_NEAR(Frame().point[kHandleBottomRight].x, corner.x + 40, 1);
  EXPECT_NEAR(Frame().point[kHandleBottomRight].y, corner.y - 20, 1);
  EXPECT_NEAR(Frame().point[kHandleTopLeft].x, opposite.x - 40, 1);
  // With Shift both ways alike.
  ResetParamValues();
  Drag(kHandleTopRight, 60, 0, true);
  EXPECT_EQ(ParamValue(kPerspective, 6), ParamValue(kPerspective, 7));
  EXPECT_GT(ParamValue(kPerspective, 6), 200);

  // With Ctrl a corner turns the picture: it ends up on the mouse's ray.
  ResetParamValues();
  const HandlePoint c = Frame().point[kHandleCentre];
  const HandlePoint tr = Frame().point[kHandleTopRight];
  Drag(kHandleTopRight, -60, -40, false, true);
  const HandlePoint turned = Frame().point[kHandleTopRight];
  const double want = std::atan2(tr.y - 40 - c.y, tr.x - 60 - c.x), got = std::atan2(turned.y - c.y, turned.x - c.x);
  EXPECT_NEAR(got, want, 0.02);
  EXPECT_NE(ParamValue(kPerspective, 2), 0);

  // An edge's middle toward the centre tips that edge away: it gets shorter
  // than the opposite edge. Each of the four.
  const int corners[4][2] = {{kHandleTopLeft, kHandleTopRight},
                             {kHandleTopRight, kHandleBottomRight},
                             {kHandleBottomRight, kHandleBottomLeft},
                             {kHandleBottomLeft, kHandleTopLeft}};
  for (int e = 0; e < 4; ++e) {
    ResetParamValues();
    const HandlePoint mid = Frame().point[kHandleTop + e];
    const HandlePoint centre = Frame().point[kHandleCentre];
    Drag(kHandleTop + e, (centre.x - mid.x) / 3, (centre.y - mid.y) / 3);
    const PerspectiveFrame f = Frame();
    const int o = (e + 2) % 4;
    EXPECT_LT(Length(f, corners[e][0], corners[e][1]), Length(f, corners[o][0], corners[o][1]) - 5) << e;
  }

  // Shift on the centre: up is farther, the picture smaller.
  ResetParamValues();
  Drag(kHandleCentre, 0, -100, true);
  EXPECT_EQ(ParamValue(kPerspective, 5), 960);
  // Far drags keep every value in its Trend range and angles in 0..359.
  Drag(kHandleCentre, 0, -1e7, true);
  EXPECT_EQ(ParamValue(kPerspective, 5), 99999);
  ResetParamValues();
  Drag(kHandleBottomRight, 1e9, 1e9);
  EXPECT_EQ(ParamValue(kPerspective, 6), 9000);
  Drag(kHandleTop, 0, 1e6);
  EXPECT_GE(ParamValue(kPerspective, 0), 0);
  EXPECT_LT(ParamValue(kPerspective, 0), 360);
}

TEST_F(PerspectiveHandlesTest, LeavingPerspectiveOrItsViewRemovesThem) {
  ImageRecord* image = Add(40, 30, [](int, int) { return Px{0, 0, 0, 255}; });
  ViewRecord* view = OpenView(image);
  ASSERT_EQ(SelectOperation(static_cast<int>(kPerspective)), 0);
  ShowPerspectiveHandles(view);
  EXPECT_EQ(PerspectiveHandlesView(), view);
  ASSERT_EQ(SelectOperation(3133), 0);  // Swirl
  EXPECT_EQ(PerspectiveHandlesView(), nullptr);
  ASSERT_EQ(SelectOperation(static_cast<int>(kPerspective)), 0);
  EXPECT_EQ(PerspectiveHandlesView(), nullptr);  // not back by themselves

  ShowPerspectiveHandles(view);
  CloseView(view);
  EXPECT_EQ(PerspectiveHandlesView(), nullptr);
}

}  // namespace
}  // namespace qv::test
