// Perspective's handles over the action view: where the current settings
// put the picture's corners, the middles of its edges and its centre on the
// action image, which handle a click takes, and how dragging one changes
// the settings:
// - the centre moves the picture ("X Dist", "Y Dist"); with Shift, dragging
//   up sends it farther away and down brings it nearer ("Z Dist");
// - a corner stretches the picture after the mouse ("X Mag", "Y Mag"); with
//   Shift both alike; with Ctrl it turns the picture around its centre
//   ("Z Rot");
// - the middle of an edge, dragged toward the centre, tips that edge away
//   ("X Rot" by the top and bottom, "Y Rot" by the left and right).
// The view draws them and passes the mouse here; everything else is engine
// work, so it is the same with or without a window.
#pragma once

#include <cstdint>

namespace qv {

struct ImageRecord;
struct ViewRecord;

enum PerspectiveHandle : int {
  kHandleNone = -1,
  kHandleCentre = 0,
  kHandleTopLeft,
  kHandleTopRight,
  kHandleBottomRight,
  kHandleBottomLeft,
  kHandleTop,
  kHandleRight,
  kHandleBottom,
  kHandleLeft,
  kHandleCount
};

struct HandlePoint {
  double x = 0, y = 0;   // action image pixels
  bool visible = false;  // false: behind the eye, nowhere on the image
};

struct PerspectiveFrame {
  HandlePoint point[kHandleCount];
  bool Whole() const;  // every corner visible
};

// The picture Perspective places: the chosen source, or the first image
// of the table when none is chosen; null without images.
ImageRecord* PerspectivePicture();
// The handles as the current settings place a picture of pictureWidth x
// pictureHeight on an action image of actionWidth x actionHeight.
PerspectiveFrame PerspectiveFrameFor(int actionWidth, int actionHeight, int pictureWidth, int pictureHeight);
// The handle within reach of (x, y), the nearest one first; kHandleNone.
int PerspectiveHandleAt(const PerspectiveFrame& frame, double x, double y, double reach);

struct PerspectiveDrag {
  int handle = kHandleNone;
  double pressX = 0, pressY = 0;
  PerspectiveFrame frame;             // as it was at the press
  std::int32_t settings[8] = {};      // likewise
  int actionWidth = 1, actionHeight = 1;
};
// A drag of the handle at (x, y) of an action image; handle kHandleNone
// when nothing is within reach.
PerspectiveDrag BeginPerspectiveDrag(int actionWidth, int actionHeight, int pictureWidth, int pictureHeight, double x,
                                     double y, double reach);
// The mouse at (x, y): the settings from the press changed by the gesture
// (values kept within their Trend ranges, angles within 0..359).
void DragPerspective(const PerspectiveDrag& drag, double x, double y, bool shift, bool ctrl);

// The view showing the handles, or null: none shown, the view closed, or
// the operation is no longer Perspective.
ViewRecord* PerspectiveHandlesView();
void ShowPerspectiveHandles(ViewRecord* view);
// Removes them (leaving Perspective, closing their view); repaints the view.
void RemovePerspectiveHandles();

}  // namespace qv
