#include "display/views.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "base/host.h"
#include "base/messages.h"
#include "base/preferences.h"
#include "base/progress.h"
#include "display/render.h"
#include "store/image_record.h"

namespace qv {
namespace {

constexpr int kNoZoomedView = 31;
constexpr int kChosenViewNotZoomed = 40;
constexpr int kZoomWithoutImages = 58;
constexpr int kNoImagesLoaded = 11;


int AtLeastOne(int v) { return v < 1 ? 1 : v; }

void WholeImage(ViewRecord* v) {
  v->left = 0;
  v->top = 0;
  v->right = v->image ? v->image->width - 1 : 0;
  v->bottom = v->image ? v->image->height - 1 : 0;
  v->zoomKind = kZoomNone;
}

void DropHistoryOf(const ViewRecord* view) {
  auto& h = Views().history;
  h.erase(std::remove_if(h.begin(), h.end(), [view](const ZoomEntry& e) { return e.view == view; }), h.end());
}

// Window position to image pixel on the magnify path: through the region
// when there is one, else across the whole image.
std::int32_t MapEdge(int pos, int client, bool region, std::int32_t low, std::int32_t high, int imageSize) {
  client = AtLeastOne(client);
  if (region) return static_cast<std::int32_t>(low + std::int64_t{pos} * (std::int64_t{high} - low) / client);
  return static_cast<std::int32_t>(std::int64_t{pos} * (imageSize - 1) / client);
}

void Changed(ViewRecord* view, bool fit) {
  view->reRender = 1;
  RefreshViewTitles(view->image);
  if (fit && Prefs().keepAspect && view->placement == ViewPlacement::DocumentChild)
    TheHost().FitViewWindow(view, false);
  TheHost().InvalidateView(view);
}

int StretchToImage(int x, int w, int size) {
  w = AtLeastOne(w);
  if (size >= w) return static_cast<int>(std::int64_t{size - 1} * x / AtLeastOne(w - 1));
  return static_cast<int>(std::int64_t{size} * x / w);
}
int RegionToImage(int x, int w, std::int32_t low, std::int32_t high) {
  return static_cast<int>(low + (std::int64_t{high} - low) * x / AtLeastOne(w));
}
int StretchToWindow(int x, int w, int size) {
  w = AtLeastOne(w);
  if (w <= size) return static_cast<int>(std::int64_t{w - 1} * x / AtLeastOne(size - 1));
  return static_cast<int>((std::int64_t{w} * x + w / 2) / AtLeastOne(size));
}
int RegionToWindow(int x, int w, std::int32_t low, std::int32_t high) {
  w = AtLeastOne(w);
  std::int64_t span = std::max<std::int64_t>(1, std::int64_t{high} - low);
  std::int64_t pos = (x - std::int64_t{low}) * w / span;
  if (span < w) pos += w / span / 2;
  return static_cast<int>(pos);
}

}  // namespace

// ---- table --------------------------------------------------------------------

ViewSlot* SlotOf(const ViewRecord* view) {
  for (auto& slot : Views().table)
    if (&slot->record == view) return slot.get();
  return nullptr;
}

std::vector<ViewRecord*> AllViews() {
  std::vector<ViewRecord*> out;
  for (auto& slot : Views().table)
    if (slot->inUse) out.push_back(&slot->record);
  return out;
}

std::vector<ViewRecord*> ViewsOf(const ImageRecord* image) {
  std::vector<ViewRecord*> out;
  for (auto& slot : Views().table)
    if (slot->inUse && image && slot->record.image == image) out.push_back(&slot->record);
  return out;
}

ViewRecord* OpenView(ImageRecord* image, std::uint16_t kind) {
  ViewsState& s = Views();
  if (s.table.empty()) s.table.reserve(kFirstViewTableCapacity);
  ViewSlot* slot = nullptr;
  bool reused = false;
  for (auto& candidate : s.table)
    if (candidate->inUse && !candidate->record.image) {
      slot = candidate.get();
      reused = true;
      break;
    }
  if (!slot) {
    for (auto& candidate : s.table)
      if (!candidate->inUse) {
        slot = candidate.get();
        break;
      }
  }
  if (!slot) {
    s.table.push_back(std::make_unique<ViewSlot>());
    slot = s.table.back().get();
  }
  ViewRecord& v = slot->record;
  if (!reused) {
    v = ViewRecord{};
    slot->title.clear();
    slot->inUse = true;
  }
  v.image = image;
  v.kind = kind;
  WholeImage(&v);
  v.reRender = 1;
  if (!reused && !TheHost().OpenViewWindow(&v)) {
    LogLine("View open failed!\n");
    slot->inUse = false;
    v.image = nullptr;
    return nullptr;
  }
  RefreshViewTitles(image);
  if (Prefs().keepAspect && v.placement == ViewPlacement::DocumentChild) TheHost().FitViewWindow(&v, false);
  TheHost().InvalidateView(&v);
  return &v;
}

void DropView(ViewRecord* view) {
  ViewSlot* slot = SlotOf(view);
  if (!slot || !slot->inUse) return;
  DropHistoryOf(view);
  if (slot->dib) {
    FreeVirtual(slot->dib);
    slot->dib = nullptr;
  }
  ImageRecord* image = view->image;
  if (Views().action == view) Views().action = nullptr;
  slot->inUse = false;
  view->image = nullptr;
  slot->title.clear();
  if (image) RefreshViewTitles(image);
}

void DropViewsOf(const ImageRecord* image) {
  if (!image) return;
  for (ViewRecord* v : ViewsOf(image)) {
    DropView(v);
    TheHost().CloseViewWindow(v);
  }
}

bool CloseView(ViewRecord* view) {
  ViewSlot* slot = SlotOf(view);
  if (!slot || !slot->inUse) return true;
  if (view->renderState != 0) return false;
  // Asked before any save question: the running work may use the image.
  if (RefuseCloseWhileBusy()) return false;
  ImageRecord* image = view->image;
  if (image && ViewsOf(image).size() == 1 && ImageIndex(image) >= 0) {
    // The last view of a listed image takes the image with it; a cancelled
    // save keeps both.
    if (RemoveImage(image) != 0) return false;
    view->image = nullptr;
  }
  DropView(view);
  return true;
}

void FreeViews() {
  for (auto& slot : Views().table)
    if (slot->dib) FreeVirtual(slot->dib);
  Views().table.clear();
  Views().history.clear();
}

// ---- titles -------------------------------------------------------------------

std::string ZoomSuffix(int clientWidth, int shownWidth) {
  double r = static_cast<double>(clientWidth - 1) / AtLeastOne(shownWidth);
  char text[64];
  auto format = [&](const char* whole, const char* fraction, double v) {
    double nearest = std::round(v);
    if (std::fabs(v - nearest) <= 0.01)
      std::snprintf(text, sizeof text, whole, static_cast<long>(nearest));
    else
      std::snprintf(text, sizeof text, fraction, v);
  };
  if (r > 1.001)
    format(" (%ld:1)", " (%4.2lf:1)", r);
  else if (r >= 0.999)
    std::snprintf(text, sizeof text, " (1:1)");
  else
    format(" (1:%ld)", " (1:%4.2lf)", r > 0 ? 1.0 / r : 0.0);
  return text;
}

std::string ViewTitle(const ViewRecord* view) {
  if (!view) return {};
  if (view->kind == kViewKindGrid) return "Grid";
  if (view->kind == kViewKindAreaSelect) return "Area Select";
  const ImageRecord* image = view->image;
  if (!image) return "View";
  std::vector<ViewRecord*> views = ViewsOf(image);
  const char* word = view->kind == kViewKindAlpha ? "Alpha" : "View";
  std::string title = word;
  if (views.size() > 1) {
    long number = std::find(views.begin(), views.end(), view) - views.begin() + 1;
    title += '[';
    title += std::to_string(number);
    title += ']';
  }
  title += " - ";
  title += image->name;
  int shown = view->zoomKind != kZoomNone ? view->right - view->left + 1 : image->width;
  return title + ZoomSuffix(view->clientWidth, shown);
}

void RefreshViewTitles(const ImageRecord* image) {
  for (ViewRecord* v : ViewsOf(image)) {
    ViewSlot* slot = SlotOf(v);
    std::string title = ViewTitle(v);
    if (title == slot->title) continue;
    slot->title = title;
    TheHost().SetViewTitle(v, title);
  }
}

void SetAlphaView(ViewRecord* view, bool alpha) {
  if (!view) return;
  view->kind = alpha ? kViewKindAlpha : kViewKindView;
  Changed(view, false);
}

// ---- conversions ----------------------------------------------------------------

bool UsesStretchMapping(const ViewRecord& v) {
  return v.zoomKind == kZoomNone && v.placement == ViewPlacement::DocumentChild;
}

int WindowToImageX(const ViewRecord& v, int x) {
  if (UsesStretchMapping(v)) return StretchToImage(x, v.clientWidth, v.image ? v.image->width : 1);
  return RegionToImage(x, v.clientWidth, v.left, v.right);
}
int WindowToImageY(const ViewRecord& v, int y) {
  if (UsesStretchMapping(v)) return StretchToImage(y, v.clientHeight, v.image ? v.image->height : 1);
  return RegionToImage(y, v.clientHeight, v.top, v.bottom);
}
int ImageToWindowX(const ViewRecord& v, int x) {
  if (UsesStretchMapping(v)) return StretchToWindow(x, v.clientWidth, v.image ? v.image->width : 1);
  return RegionToWindow(x, v.clientWidth, v.left, v.right);
}
int ImageToWindowY(const ViewRecord& v, int y) {
  if (UsesStretchMapping(v)) return StretchToWindow(y, v.clientHeight, v.image ? v.image->height : 1);
  return RegionToWindow(y, v.clientHeight, v.top, v.bottom);
}

// ---- zoom -------------------------------------------------------------------------

void ResetZoom(ViewRecord* view) {
  if (!view) return;
  DropHistoryOf(view);
  WholeImage(view);
  Changed(view, true);
}

void MagnifyView(ViewRecord* view, int x0, int y0, int x1, int y1, bool reset) {
  if (!view || !view->image) return;
  if (reset) {
    ResetZoom(view);
    return;
  }
  if (x0 > x1) std::swap(x0, x1);
  if (y0 > y1) std::swap(y0, y1);
  // A click is not a rectangle: zooming into nothing would lose the picture.
  if (x1 == x0 || y1 == y0) return;
  bool region = !UsesStretchMapping(*view);
  const ImageRecord* image = view->image;
  ZoomEntry old{view, view->left, view->top, view->right, view->bottom, view->zoomKind};
  std::int32_t left = MapEdge(x0, view->clientWidth, region, view->left, view->right, image->width);
  std::int32_t right = MapEdge(x1, view->clientWidth, region, view->left, view->right, image->width);
  std::int32_t top = MapEdge(y0, view->clientHeight, region, view->top, view->bottom, image->height);
  std::int32_t bottom = MapEdge(y1, view->clientHeight, region, view->top, view->bottom, image->height);
  // Past the deepest zoom the region would collapse to nothing.
  if (right <= left || bottom <= top) return;
  Views().history.push_back(old);
  view->left = left;
  view->right = right;
  view->top = top;
  view->bottom = bottom;
  view->zoomKind = kZoomIn;
  Changed(view, true);
}

void OneToOneClientSize(const ViewRecord& view, int& width, int& height) {
  if (view.zoomKind != kZoomNone || !view.image) {
    width = view.right - view.left + 1;
    height = view.bottom - view.top + 1;
  } else {
    width = view.image->width;
    height = view.image->height;
  }
  width = AtLeastOne(width);
  height = AtLeastOne(height);
}

void DemagnifyView(ViewRecord* view) {
  if (!view || !view->image) return;
  auto& h = Views().history;
  if (view->zoomKind == kZoomIn) {
    for (std::size_t i = h.size(); i-- > 0;) {
      const ZoomEntry& e = h[i];
      if (e.view != view || e.zoomKind != kZoomIn) continue;
      if (e.left == view->left && e.top == view->top && e.right == view->right && e.bottom == view->bottom) continue;
      view->left = e.left;
      view->top = e.top;
      view->right = e.right;
      view->bottom = e.bottom;
      view->zoomKind = kZoomIn;
      // The restored entry and everything this view pushed after it go.
      std::size_t keep = i;
      std::vector<ZoomEntry> kept(h.begin(), h.begin() + static_cast<std::ptrdiff_t>(keep));
      for (std::size_t j = keep; j < h.size(); ++j)
        if (h[j].view != view) kept.push_back(h[j]);
      h.swap(kept);
      Changed(view, true);
      return;
    }
    ResetZoom(view);
    return;
  }
  int w = view->clientWidth, hgt = view->clientHeight;
  int dx = w * 50 / 200, dy = hgt * 50 / 200;
  bool region = !UsesStretchMapping(*view);
  const ImageRecord* image = view->image;
  std::int32_t left = MapEdge(-dx, w, region, view->left, view->right, image->width);
  std::int32_t right = MapEdge(w + dx, w, region, view->left, view->right, image->width);
  std::int32_t top = MapEdge(-dy, hgt, region, view->top, view->bottom, image->height);
  std::int32_t bottom = MapEdge(hgt + dy, hgt, region, view->top, view->bottom, image->height);
  view->left = left;
  view->right = right;
  view->top = top;
  view->bottom = bottom;
  view->zoomKind = kZoomOut;
  Changed(view, true);
}

int MagnifyCommand(bool oneToOne) {
  if (ImageCount() == 0 && AllViews().empty()) {
    ShowMessage(kZoomWithoutImages);
    return 1;
  }
  Views().tool = oneToOne ? ViewTool::MagnifyOneToOne : ViewTool::Magnify;
  return 0;
}

int DemagnifyCommand() {
  std::vector<ViewRecord*> views = AllViews();
  if (views.empty()) {
    ShowMessage(kZoomWithoutImages);
    return 1;
  }
  std::vector<ViewRecord*> zoomed;
  for (ViewRecord* v : views)
    if (v->zoomKind != kZoomNone) zoomed.push_back(v);
  if (zoomed.size() == 1) {
    DemagnifyView(zoomed.front());
    return 0;
  }
  if (zoomed.empty()) {
    ShowMessage(kNoZoomedView);
    return 1;
  }
  Views().tool = ViewTool::ChooseDemagnify;
  return 0;
}

// Called by a view clicked while the demagnify tool waits for a choice.
int DemagnifyChosen(ViewRecord* view) {
  Views().tool = ViewTool::None;
  if (!view || view->zoomKind == kZoomNone) {
    ShowMessage(kChosenViewNotZoomed);
    return 1;
  }
  DemagnifyView(view);
  return 0;
}

int ViewCommand(int id) {
  switch (id) {
    case kCommandMagnify:
    case kCommandMagnifyButton:
      return MagnifyCommand(false);
    case kCommandDemagnify:
    case kCommandDemagnifyButton:
      return DemagnifyCommand();
    case kCommandOpenAnotherView: {
      if (ImageCount() == 0) {
        ShowMessage(kNoImagesLoaded);
        return 1;
      }
      int index = ImageCount() == 1 ? 0 : TheHost().ChooseImage("Select Image for View");
      ImageRecord* image = ImageAt(index);
      if (!image) return 2;
      return OpenView(image) ? 0 : 1;
    }
    default:
      return -1;
  }
}

// ---- sizing -----------------------------------------------------------------------

void KeepAspectClientSize(const ViewRecord& view, int width, int maxWidth, int maxHeight, int& outWidth,
                          int& outHeight) {
  int w, h;
  OneToOneClientSize(view, w, h);
  double aspect = 1.0;
  if (const ImageRecord* image = view.image) {
    // Pixels as wide as the resolution makes them.
    double xn = AtLeastOne(image->dpiXNum), xd = AtLeastOne(image->dpiXDen);
    double yn = AtLeastOne(image->dpiYNum), yd = AtLeastOne(image->dpiYDen);
    aspect = (yn / yd) / (xn / xd);
  }
  double pw = w * aspect, ph = h;
  if (width > 0) {
    ph = ph * width / pw;
    pw = width;
  }
  maxWidth = AtLeastOne(maxWidth);
  maxHeight = AtLeastOne(maxHeight);
  double scale = std::min({1.0, maxWidth / pw, maxHeight / ph});
  outWidth = AtLeastOne(static_cast<int>(pw * scale + 0.5));
  outHeight = AtLeastOne(static_cast<int>(ph * scale + 0.5));
}

// ---- the action view and the views after a change ----------------------------------

ViewRecord* ViewAt(int index) {
  std::vector<ViewRecord*> views = AllViews();
  if (views.empty()) return nullptr;
  if (index < 0 || index >= static_cast<int>(views.size())) index = 0;
  return views[static_cast<std::size_t>(index)];
}

int ViewIndexOf(const ViewRecord* view) {
  std::vector<ViewRecord*> views = AllViews();
  auto it = std::find(views.begin(), views.end(), view);
  return it == views.end() ? -1 : static_cast<int>(it - views.begin());
}

void SetActionView(ViewRecord* view) {
  ViewSlot* slot = SlotOf(view);
  if (!slot || !slot->inUse || !view->image) return;
  Views().action = view;
  ImageStore& images = Images();
  images.current = view->image;
  images.currentAction = view->image;
}

int ActionViewIndex() {
  int index = ViewIndexOf(Views().action);
  if (index >= 0) return index;
  // No view was chosen: the first one showing the action image.
  std::vector<ViewRecord*> shown = ViewsOf(Images().currentAction);
  return shown.empty() ? 0 : std::max(0, ViewIndexOf(shown.front()));
}

bool ViewShowsAlpha(int index) {
  const ViewRecord* v = ViewAt(index);
  return v && v->kind == kViewKindAlpha;
}

std::string ViewWindowTitle(int index, const ImageRecord* image) {
  ViewRecord* v = ViewAt(index);
  if (!v || v->image != image) {
    std::vector<ViewRecord*> shown = ViewsOf(image);
    v = shown.empty() ? nullptr : shown.front();
  }
  if (!v) return image ? image->name : "";
  const ViewSlot* slot = SlotOf(v);
  return slot->title.empty() ? ViewTitle(v) : slot->title;
}

void InvalidateViewAt(int index) {
  if (ViewRecord* v = ViewAt(index)) TheHost().InvalidateView(v);
}

void ShowImageChange(ImageRecord* image, int x0, int y0, int x1, int y1, const ChangeDisplay& how) {
  if (!image) return;
  const bool keepAspect = Prefs().keepAspect != 0;
  for (ViewRecord* v : ViewsOf(image)) {
    if (how.sizeChanged) {
      // The kept picture was made for the old size: no band of it lines up
      // with the new one, so the view is rendered whole.
      if (v->placement != ViewPlacement::DocumentChild || keepAspect) {
        ResetZoom(v);
      } else {
        v->reRender = 1;
        RefreshViewTitles(image);
        TheHost().InvalidateView(v);
      }
      continue;
    }
    if (v->reRender) {
      // A whole render is due anyway.
      TheHost().InvalidateView(v);
      continue;
    }
    // Widened by one pixel: a magnified pixel's block starts before the
    // window position its centre maps to. Not clamped to the image for the
    // same reason; the band is clamped to the client instead.
    int left = ImageToWindowX(*v, x0 - 1), right = ImageToWindowX(*v, x1 + 1);
    int top = ImageToWindowY(*v, y0 - 1), bottom = ImageToWindowY(*v, y1 + 1);
    const int lastX = v->clientWidth - 1, lastY = v->clientHeight - 1;
    if (right < 0 || left > lastX || bottom < 0 || top > lastY) continue;
    if (how.wholeClient) {
      top = 0;
      bottom = lastY;
    }
    left = std::clamp(left, 0, lastX);
    right = std::clamp(right, 0, lastX);
    top = std::clamp(top, 0, lastY);
    bottom = std::clamp(bottom, 0, lastY);
    if (RefreshViewRows(v, left, top, right, bottom) != 0) {
      v->reRender = 1;
      TheHost().InvalidateView(v);
    }
  }
}

// ---- scrolling --------------------------------------------------------------------

bool CanScroll(const ViewRecord& v) { return v.image && v.zoomKind != kZoomNone && v.reRender == 0; }

void ScrollView(ViewRecord* view, bool vertical, ScrollAction action, int thumb) {
  if (!view || !CanScroll(*view)) return;
  std::int32_t& low = vertical ? view->top : view->left;
  std::int32_t& high = vertical ? view->bottom : view->right;
  const std::int32_t size = vertical ? view->image->height : view->image->width;
  const std::int32_t w = high - low;
  auto moveBy = [&](std::int32_t by) {
    by = std::max(by, -low);
    by = std::min(by, size - high);
    // A region wider than the image cannot move at all.
    if ((by < 0 && low + by < 0) || (by > 0 && high + by > size)) return;
    low += by;
    high += by;
  };
  switch (action) {
    case ScrollAction::LineBack: moveBy(-((w + 7) / 8)); break;
    case ScrollAction::LineForward: moveBy((w + 7) / 8); break;
    case ScrollAction::PageBack: moveBy(-(w + 7)); break;
    case ScrollAction::PageForward: moveBy(w + 7); break;
    case ScrollAction::Start:
      high -= low;
      low = 0;
      break;
    case ScrollAction::End:
      low += size - high;
      high = size;
      break;
    case ScrollAction::Thumb:
      low = static_cast<std::int32_t>(std::int64_t{size - w} * std::clamp(thumb, 0, 1000) / 1000);
      high = low + w;
      break;
  }
}

int ScrollPosition(const ViewRecord& v, bool vertical) {
  if (!v.image) return 0;
  std::int32_t low = vertical ? v.top : v.left;
  std::int32_t w = vertical ? v.bottom - v.top : v.right - v.left;
  std::int32_t size = vertical ? v.image->height : v.image->width;
  return static_cast<int>(std::int64_t{low} * 1000 / AtLeastOne(size - w));
}

void EndScroll(ViewRecord* view) {
  if (!view) return;
  view->reRender = 1;
  TheHost().InvalidateView(view);
}

}  // namespace qv
