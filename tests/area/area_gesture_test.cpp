#include "area/area_gesture.h"

#include "support/program_fixture.h"

namespace qv {
namespace {

class AreaGestureTest : public test::ProgramTest {};

TEST_F(AreaGestureTest, BoxFromCentreOrCornerWithConstraints) {
  AreaSelection s;
  // From the centre: the cursor sets the radii, whichever way it went.
  SetBoxFromDrag(s, {50, 40, 20, 50, false, HoldConstraint::None, 1, 1});
  EXPECT_EQ((std::array{s.left, s.top, s.right, s.bottom}), (std::array{20, 30, 80, 50}));
  EXPECT_EQ((std::array{s.centreX, s.centreY, s.radiusX, s.radiusY}), (std::array{50, 40, 30, 10}));
  // From a corner, dragged up and left: the same box as the reverse drag.
  AreaSelection reverse;
  SetBoxFromDrag(s, {80, 50, 20, 30, true, HoldConstraint::None, 1, 1});
  SetBoxFromDrag(reverse, {20, 30, 80, 50, true, HoldConstraint::None, 1, 1});
  EXPECT_EQ((std::array{s.left, s.top, s.right, s.bottom}), (std::array{20, 30, 80, 50}));
  EXPECT_EQ((std::array{s.left, s.top, s.right, s.bottom}),
            (std::array{reverse.left, reverse.top, reverse.right, reverse.bottom}));
  // Hold square: the larger side decides and the drag direction is kept.
  SetBoxFromDrag(s, {100, 100, 90, 60, true, HoldConstraint::Square, 1, 1});
  EXPECT_EQ((std::array{s.left, s.top, s.right, s.bottom}), (std::array{60, 60, 100, 100}));
  // Hold to aspect of a 4:3 picture.
  SetBoxFromDrag(s, {0, 0, 40, 10, true, HoldConstraint::Aspect, 400, 300});
  EXPECT_EQ(s.bottom - s.top, 30);
  SetBoxFromDrag(s, {0, 0, 4, 60, true, HoldConstraint::Aspect, 400, 300});
  EXPECT_EQ(s.right - s.left, 80);
}

TEST_F(AreaGestureTest, AltReversesTheFromCornerSetting) {
  EXPECT_FALSE(DragsFromCorner(kAreaEllipse, false));
  EXPECT_TRUE(DragsFromCorner(kAreaEllipse, true));
  TheProgram().settings.cornerOval = 1;
  EXPECT_TRUE(DragsFromCorner(kAreaEllipse, false));
  EXPECT_FALSE(DragsFromCorner(kAreaEllipse, true));
  EXPECT_FALSE(DragsFromCorner(kAreaRectangle, false));
}

}  // namespace
}  // namespace qv
