// View windows: the table of views, their titles, the zoom with its history,
// scrolling, and the conversions between window positions and image pixels.
// The windows themselves belong to the host; everything that decides what a
// view shows lives here so that it can be exercised without a display.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "display/render_state.h"
#include "store/memory_places.h"

namespace qv {

struct ImageRecord;

inline constexpr int kFirstViewTableCapacity = 20;
inline constexpr std::uint16_t kViewKindView = 0;
inline constexpr std::uint16_t kViewKindGrid = 2;
inline constexpr std::uint16_t kViewKindAreaSelect = 3;
inline constexpr std::uint16_t kZoomNone = 0;
inline constexpr std::uint16_t kZoomIn = 1;
inline constexpr std::uint16_t kZoomOut = 2;

// Zoom commands (menu and tool-bar ids).
inline constexpr int kCommandMagnify = 9410;
inline constexpr int kCommandMagnifyButton = 9718;
inline constexpr int kCommandDemagnify = 9420;
inline constexpr int kCommandDemagnifyButton = 9720;
inline constexpr int kCommandOpenAnotherView = 706;

// One view window. The record comes first so that the host can be handed
// the record alone and the slot found again from it.
struct ViewSlot {
  ViewRecord record;
  std::string title;
  PlaceHandle dib = nullptr;  // the last full render, kept for the host's bitmap
  bool inUse = false;
};

struct ZoomEntry {
  const ViewRecord* view;
  std::int32_t left, top, right, bottom;
  std::uint16_t zoomKind;
};

// What the next drag or click on a view does besides area selection.
enum class ViewTool : std::uint8_t { None, Magnify, MagnifyOneToOne, ChooseDemagnify };

struct ViewsState {
  // Slots never move, so the host may keep a record's address for the life
  // of its window.
  std::vector<std::unique_ptr<ViewSlot>> table;
  std::vector<ZoomEntry> history;  // newest last
  ViewTool tool = ViewTool::None;
  // The view an apply works through: where the last selection was drawn,
  // or the view last made active. Null when it closed.
  ViewRecord* action = nullptr;
};

// The program's one ViewsState (owned by the Program).
ViewsState& Views();

// ---- table --------------------------------------------------------------

// Shows an image in a view: reuses a view without an image or makes a new
// one (the host opens its window). Null when the window cannot be opened
// ("View open failed!" in the log).
ViewRecord* OpenView(ImageRecord* image, std::uint16_t kind = kViewKindView);
// A request to close a view: ignored (false) while it renders, refused
// (message 86) while an operation runs; closing an image's last view
// removes the image, which first offers to save it (and keeps the view when
// the user cancels).
bool CloseView(ViewRecord* view);
// Forgets a view whose window is gone without touching its image.
void DropView(ViewRecord* view);
// An image is leaving the table: every view of it is dropped and its window
// closed, so that no view is left pointing at freed pixels.
void DropViewsOf(const ImageRecord* image);
ViewSlot* SlotOf(const ViewRecord* view);
// Views in use, in order of creation (the order titles number them by).
std::vector<ViewRecord*> ViewsOf(const ImageRecord* image);
std::vector<ViewRecord*> AllViews();
void FreeViews();

// ---- titles -------------------------------------------------------------

std::string ZoomSuffix(int clientWidth, int shownWidth);
std::string ViewTitle(const ViewRecord* view);
// Sets the titles of every view of an image (the host shows them).
void RefreshViewTitles(const ImageRecord* image);
// Switches a view between plain view and alpha view.
void SetAlphaView(ViewRecord* view, bool alpha);

// ---- conversions --------------------------------------------------------

bool UsesStretchMapping(const ViewRecord& view);
int WindowToImageX(const ViewRecord& view, int x);
int WindowToImageY(const ViewRecord& view, int y);
int ImageToWindowX(const ViewRecord& view, int x);
int ImageToWindowY(const ViewRecord& view, int y);

// ---- zoom ---------------------------------------------------------------

// Zooms into the dragged window rectangle (corners in any order); with
// reset the view returns to the whole image and its history is dropped.
void MagnifyView(ViewRecord* view, int x0, int y0, int x1, int y1, bool reset);
// The client size at which the view's region is drawn 1:1.
void OneToOneClientSize(const ViewRecord& view, int& width, int& height);
// One step out: back along the history when zoomed in, else widened by half.
void DemagnifyView(ViewRecord* view);
// The command: applies at once to the only zoomed view, asks for a click
// when several are zoomed (returns 0 with the tool set), message 31 when
// none is, message 58 with no images.
int DemagnifyCommand();
int MagnifyCommand(bool oneToOne);
// A view clicked while the demagnify tool waits: message 40 when it is not
// zoomed.
int DemagnifyChosen(ViewRecord* view);
void ResetZoom(ViewRecord* view);

// The view commands of the menus and the tool bar: zoom, "Open another
// view"; -1 for an id that is not one of them.
int ViewCommand(int id);

// ---- sizing -------------------------------------------------------------

// The client size a view not maximised takes under KeepAspect: a new view
// (width 0) shows its picture at 1:1, any other keeps its width; the height
// follows the shape of the region shown (and of the image's pixels), and
// the whole is scaled down to fit maxWidth x maxHeight.
void KeepAspectClientSize(const ViewRecord& view, int width, int maxWidth, int maxHeight, int& outWidth,
                          int& outHeight);

// ---- the action view and the views after a change ------------------------
// Views are numbered by their place among the views in use (AllViews()).

// The view of a number; a number beyond the count gives the first view.
// Null when no view is open.
ViewRecord* ViewAt(int index);
int ViewIndexOf(const ViewRecord* view);  // -1 when not a view in use
// Makes a view the action view: its image becomes the current image and the
// action image.
void SetActionView(ViewRecord* view);
// The number of the action view (0 when there is none).
int ActionViewIndex();
bool ViewShowsAlpha(int index);
// The window title of a view (for the log); without a view the image's name.
std::string ViewWindowTitle(int index, const ImageRecord* image);
// The view is repainted as it is (nothing rendered anew).
void InvalidateViewAt(int index);

struct ChangeDisplay {
  bool sizeChanged = false;
  bool wholeClient = false;  // re-render whole client areas (sequence level 1)
};
// The box x0..x1, y0..y1 (image pixels, inclusive) of the image changed:
// every view of it re-renders the band of window rows that shows the box
// widened by one pixel; views that show none of it are left alone. After a
// change of size every view is rendered whole, re-laid-out first when it is
// minimised or maximised or KeepAspect is on.
void ShowImageChange(ImageRecord* image, int x0, int y0, int x1, int y1, const ChangeDisplay& how);

// ---- scrolling ----------------------------------------------------------

enum class ScrollAction { LineBack, LineForward, PageBack, PageForward, Start, End, Thumb };
bool CanScroll(const ViewRecord& view);
// Moves the region along one axis; the picture changes at EndScroll.
void ScrollView(ViewRecord* view, bool vertical, ScrollAction action, int thumb = 0);
int ScrollPosition(const ViewRecord& view, bool vertical);  // 0..1000
void EndScroll(ViewRecord* view);

}  // namespace qv
