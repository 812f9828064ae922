#include "display/render.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "base/host.h"
#include "base/messages.h"
#include "base/progress.h"
#include "display/render_rows.h"
#include "display/render_state.h"
#include "display/views.h"
#include "store/display_palettes.h"
#include "store/image_record.h"

namespace qv {
namespace {

using dither::CarriedErrors;
using dither::ErrorRows;
using dither::Mode7Level;
using dither::PixelSource;
using dither::RenderRow;

constexpr DisplayModeInfo kModes[kDisplayModeCount] = {
    {302, 24, 0},  {303, 8, kRenderDisplayEntries}, {304, 8, 256}, {305, 4, 16}, {306, 4, 16},
    {307, 1, 2},   {308, 24, 0},                    {309, 8, 64},  {310, 32, 0},
};

constexpr const char* kRenderTitle = "Render";
constexpr int kNoMemoryMessage = 22;
constexpr int kNoDibMessage = 0;


void Put16(std::uint8_t* p, int v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::uint8_t* p, std::int64_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint32_t Get32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
int Get16(const std::uint8_t* p) { return p[0] | (p[1] << 8); }

bool DiffusionMode(int mode) { return mode == 1 || (mode >= 3 && mode <= 7 && mode != 2); }
bool SerpentineMode(int mode) { return mode == 1 || mode == 3 || mode == 4 || mode == 5; }

void WriteColourTable(std::uint8_t* table, int mode) {
  auto put = [table](int i, int r, int g, int b) {
    std::uint8_t* e = table + 4 * i;
    e[0] = static_cast<std::uint8_t>(b);
    e[1] = static_cast<std::uint8_t>(g);
    e[2] = static_cast<std::uint8_t>(r);
    e[3] = 0;
  };
  switch (mode) {
    case kModeColour256:
      for (int i = 0; i < kRenderDisplayEntries; ++i) {
        Rgb8 c = RenderPaletteEntry(i);
        put(i, c.r, c.g, c.b);
      }
      break;
    case kModeGray256:
      for (int i = 0; i < 256; ++i) put(i, i, i, i);
      break;
    case kModeColour16:
      // One below nominal: the palette manager then cannot merge these with
      // the system's reserved colours of the same value.
      for (int i = 0; i < 16; ++i) {
        Rgb8 c = kStandardColours[static_cast<std::size_t>(i)];
        put(i, std::max(c.r - 1, 0), std::max(c.g - 1, 0), std::max(c.b - 1, 0));
      }
      break;
    case kModeGray16:
      for (int i = 0; i < 16; ++i) put(i, 17 * i, 17 * i, 17 * i);
      break;
    case kModeBlackWhite:
      put(0, 0, 0, 0);
      put(1, 255, 255, 255);
      break;
    case kModeGray64:
      for (int i = 0; i < 64; ++i) put(i, Mode7Level(i), Mode7Level(i), Mode7Level(i));
      break;
    default:
      break;
  }
}

// ---- buffers kept between renders -------------------------------------------

void FreeMaps() {
  DisplayState& d = Display();
  if (d.xmap) FreeReal(d.xmap, "xmap");
  if (d.ymap) FreeReal(d.ymap, "ymap");
  d.xmap = d.ymap = nullptr;
  d.xmapCapacity = d.ymapCapacity = 0;
}

bool EnsureMaps(int width, int height) {
  DisplayState& d = Display();
  if (width > d.xmapCapacity) {
    if (d.xmap) FreeReal(d.xmap, "xmap");
    d.xmapCapacity = std::max(width, 2 * d.screen.width);
    d.xmap = AllocRealArray<std::int32_t>(d.xmapCapacity, "xmap");
    if (!d.xmap) d.xmapCapacity = 0;
  }
  if (height > d.ymapCapacity) {
    if (d.ymap) FreeReal(d.ymap, "ymap");
    d.ymapCapacity = std::max(height, 2 * d.screen.height);
    d.ymap = AllocRealArray<std::int32_t>(d.ymapCapacity, "ymap");
    if (!d.ymap) d.ymapCapacity = 0;
  }
  return d.xmap && d.ymap;
}

bool EnsureErrorRows(int width) {
  DisplayState& d = Display();
  if (width <= d.dithCapacity && d.rdith) return true;
  if (d.rdith) FreeReal(d.rdith, "rdith");
  if (d.gdith) FreeReal(d.gdith, "gdith");
  if (d.bdith) FreeReal(d.bdith, "bdith");
  int capacity = (width + 31) / 32 * 32;
  d.rdith = AllocRealArray<std::int16_t>(capacity, "rdith");
  d.gdith = AllocRealArray<std::int16_t>(capacity, "gdith");
  d.bdith = AllocRealArray<std::int16_t>(capacity, "bdith");
  if (d.rdith && d.gdith && d.bdith) {
    d.dithCapacity = capacity;
    return true;
  }
  if (d.rdith) FreeReal(d.rdith, "rdith");
  if (d.gdith) FreeReal(d.gdith, "gdith");
  if (d.bdith) FreeReal(d.bdith, "bdith");
  d.rdith = d.gdith = d.bdith = nullptr;
  d.dithCapacity = 0;
  return false;
}

// ---- scaling maps -------------------------------------------------------------

std::int32_t OnImage(std::int64_t v, int size) { return (v < 0 || v >= size) ? -1 : static_cast<std::int32_t>(v); }

void StretchAxis(std::int32_t* map, int n, int size) {
  for (int x = 0; x < n; ++x) {
    std::int64_t v = n < size ? std::int64_t{size - 1} * x / std::max(1, n - 1) : std::int64_t{x} * size / n;
    map[x] = OnImage(v, size);
  }
}

void RegionAxis(std::int32_t* map, int n, int low, int high, int size) {
  for (int x = 0; x < n; ++x) map[x] = OnImage(low + (std::int64_t{high} - low) * x / n, size);
}

// One axis of a picture fitted into the client area with margins.
struct FitAxis {
  int margin;
  int extent;         // picture size in window pixels
  std::int64_t span;  // region pixels ...
  std::int64_t per;   // ... per this many window pixels
};

FitAxis MakeFitAxis(int clientSize, int extent, std::int64_t low, std::int64_t high) {
  std::int64_t width = std::max<std::int64_t>(0, high - low);
  bool magnified = width < extent;
  return {(clientSize - extent) / 2, extent, magnified ? width + 1 : width, magnified ? extent + 1 : extent};
}

void FittedAxis(std::int32_t* map, int n, const FitAxis& f, std::int64_t low, int size) {
  for (int x = 0; x < n; ++x) {
    if (x < f.margin || x >= f.margin + f.extent) {
      map[x] = -1;
      continue;
    }
    map[x] = OnImage(low + (x - f.margin) * f.span / f.per, size);
  }
}

// A range of image columns or rows, both ends included.
struct Span {
  std::int64_t low, high;
  bool operator==(const Span&) const = default;
};

// The picture size that keeps the region's shape (and the image's pixel
// shape) inside the client area.
void FitPicture(const ImageRecord* image, Span x, Span y, int clientW, int clientH, int& w, int& h) {
  // The shape is that of the pixels shown, so a region one pixel high (a
  // one-row image) has a height of 1, not 0.
  __extension__ typedef __int128 Wide;
  Wide rw = std::max<std::int64_t>(1, x.high - x.low + 1);
  Wide rh = std::max<std::int64_t>(1, y.high - y.low + 1);
  auto positive = [](std::int32_t v) { return Wide{v > 0 ? v : 1}; };
  Wide xn = positive(image->dpiXNum), xd = positive(image->dpiXDen);
  Wide yn = positive(image->dpiYNum), yd = positive(image->dpiYDen);
  Wide wide = Wide{clientH} * rw * yn * xd / (rh * xn * yd);
  h = clientH;
  if (wide > clientW) {
    wide = clientW;
    Wide high = Wide{clientW} * rh * xn * yd / (rw * yn * xd);
    h = static_cast<int>(std::min<Wide>(high, clientH));
  }
  w = static_cast<int>(wide);
  w = std::max(w, 1);
  h = std::max(h, 1);
}

// A region fitted into the client area: the part of the image shown and how
// each axis of it sits in the window.
struct Fit {
  Span x, y;
  FitAxis ax, ay;
};

// The range one axis covers once widened over its margins.
Span Widened(const FitAxis& a, Span s, int clientSize) {
  std::int64_t low = s.low - a.margin * a.span / a.per;
  return {low, low + clientSize * a.span / a.per};
}

// The part of a range on the image; a range wholly off the image stays.
Span OnImageSpan(Span s, int size) {
  Span on{std::max<std::int64_t>(s.low, 0), std::min<std::int64_t>(s.high, size - 1)};
  return on.low > on.high ? s : on;
}

Fit FitSpans(const ImageRecord* image, Span x, Span y, int clientW, int clientH, bool zoomedOut) {
  int w, h;
  FitPicture(image, x, y, clientW, clientH, w, h);
  Fit f{x, y, MakeFitAxis(clientW, w, x.low, x.high), MakeFitAxis(clientH, h, y.low, y.high)};
  // A margin narrower than one region pixel is none: the picture fills
  // that way. Otherwise widening a region that already has the client's
  // shape would add that pixel again and again. The whole image keeps its
  // exact fit.
  auto fills = [zoomedOut](Span s, int size, const FitAxis& a) {
    return (zoomedOut || s.low > 0 || s.high < size - 1) && a.margin * a.span / a.per == 0;
  };
  if (fills(x, image->width, f.ax)) f.ax = MakeFitAxis(clientW, clientW, x.low, x.high);
  if (fills(y, image->height, f.ay)) f.ay = MakeFitAxis(clientH, clientH, y.low, y.high);
  return f;
}

// How a maximised or detached view shows its image. Once rendered, its
// region is widened over the margins (so that window positions map through
// it), and a later render through that region must draw the same picture,
// or bands refreshed after a change would land beside the picture. So the
// fit is taken where it no longer changes: an unzoomed view shows the whole
// image; a zoomed-in one the part of its region on the image, grown while
// the widening brings more of the image into the window; a zoomed-out one
// its region as it is, widened until that adds nothing.
Fit FitView(const ImageRecord* image, const ViewRecord& view, int clientW, int clientH) {
  constexpr int kMaxSteps = 64;
  const bool zoomedOut = view.zoomKind == kZoomOut;
  Span x{view.left, view.right}, y{view.top, view.bottom};
  if (view.zoomKind == kZoomNone) x = {0, image->width - 1}, y = {0, image->height - 1};
  auto shown = [&](Span s, int size) { return zoomedOut ? s : OnImageSpan(s, size); };
  Fit f = FitSpans(image, shown(x, image->width), shown(y, image->height), clientW, clientH, zoomedOut);
  for (int step = 0; step < kMaxSteps; ++step) {
    Span nx = shown(Widened(f.ax, f.x, clientW), image->width);
    Span ny = shown(Widened(f.ay, f.y, clientH), image->height);
    if (nx == f.x && ny == f.y) break;
    f = FitSpans(image, nx, ny, clientW, clientH, zoomedOut);
  }
  return f;
}

std::int32_t ClampToInt32(std::int64_t v) {
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX));
}

bool FitsToClient(const ViewRecord* view) { return view && view->placement != ViewPlacement::DocumentChild; }

// Rows between progress reports.
int ProgressStep(int mode, int rows) {
  switch (mode) {
    case kModeGray256:
    case kModeGray16:
    case kModeGray64:
      return std::max(1, rows / 4);
    case kModeColour16:
      return std::max(1, rows / 20);
    default:
      return 16;
  }
}

}  // namespace

const DisplayModeInfo& DisplayModeOf(int mode) { return kModes[(mode < 0 || mode >= kDisplayModeCount) ? 0 : mode]; }

std::int64_t DibRowStride(int width, int bits) { return (std::int64_t{width} * bits + 31) / 32 * 4; }

bool ReadDibLayout(std::span<const std::uint8_t> dib, DibLayout& layout) {
  if (dib.size() < std::size_t(kDibHeaderBytes) || Get32(dib.data()) != std::uint32_t(kDibHeaderBytes)) return false;
  const std::uint8_t* h = dib.data();
  DibLayout l;
  l.width = static_cast<std::int32_t>(Get32(h + 4));
  l.height = static_cast<std::int32_t>(Get32(h + 8));
  l.bits = Get16(h + 14);
  l.colours = static_cast<std::int32_t>(Get32(h + 32));
  if (l.width < 1 || l.height < 1 || l.colours < 0 || l.colours > 256) return false;
  if (l.bits != 1 && l.bits != 4 && l.bits != 8 && l.bits != 24 && l.bits != 32) return false;
  if (l.bits <= 8 && l.colours == 0) l.colours = 1 << l.bits;
  l.stride = DibRowStride(l.width, l.bits);
  l.pixelOffset = kDibHeaderBytes + std::int64_t{l.colours} * 4;
  if (std::uint64_t(l.pixelOffset + l.stride * l.height) > dib.size()) return false;
  layout = l;
  return true;
}

std::uint32_t DibPixel(std::span<const std::uint8_t> dib, const DibLayout& l, int x, int y) {
  const std::uint8_t* row = dib.data() + l.pixelOffset + std::int64_t(l.height - 1 - y) * l.stride;
  switch (l.bits) {
    case 1:
      return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4:
      return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
    case 8:
      return row[x];
    case 24:
      return row[3 * x] | (row[3 * x + 1] << 8) | (row[3 * x + 2] << 16);
    default:
      return Get32(row + 4 * x);
  }
}

std::uint32_t DibColour(std::span<const std::uint8_t> dib, int i) {
  const std::uint8_t* e = dib.data() + kDibHeaderBytes + 4 * i;
  return e[2] | (e[1] << 8) | (e[0] << 16);
}

std::span<const std::uint8_t> DibBytes(PlaceHandle dib) {
  // Places come from the ordinary heap, so the address outlives the lock.
  auto* p = static_cast<const std::uint8_t*>(LockVirtual(dib));
  if (!p) return {};
  std::int64_t size = PlaceSizeOfAddress(p) - 4;
  UnlockVirtual(dib);
  return {p, static_cast<std::size_t>(std::max<std::int64_t>(size, 0))};
}

void ShowErrorBox(std::string_view text) {
  MessageRequest r;
  r.kind = MessageKind::Plain;
  r.dialog = "MessageBox";
  r.title = "Error";
  r.text = std::string(text);
  r.buttons = {"OK"};
  r.results = {1};
  r.closeResult = 1;
  LogLine("MESSAGE: \"%s\"\n", r.text.c_str());
  TheHost().RunMessage(r);
}

PlaceHandle RenderView(ImageRecord* image, ViewRecord* view, PlaceHandle previous, int mode, int firstRow,
                       int lastRow) {
  if (previous) FreeVirtual(previous);
  if (!image || image->width < 1 || image->height < 1) return nullptr;
  if (mode < 0 || mode >= kDisplayModeCount) mode = kModeRgb24;
  DisplayState& d = Display();

  bool alphaView = view && view->kind == kViewKindAlpha;
  if (alphaView) ForceOpaqueAlpha(image);
  bool blend = image->hasAlpha && d.alphaBack == 1;

  int clientW = view ? std::max(1, view->clientWidth) : image->width;
  int clientH = view ? std::max(1, view->clientHeight) : image->height;
  firstRow = std::clamp(firstRow, 0, clientH - 1);
  lastRow = std::clamp(lastRow, 0, clientH - 1);
  int dibFirst = clientH - 1 - lastRow;
  int dibLast = clientH - 1 - firstRow;

  if (!EnsureMaps(clientW, clientH)) {
    FreeMaps();
    ShowMessageWith(kNoMemoryMessage, "to display");
    return nullptr;
  }
  bool fitted = FitsToClient(view);
  Fit fit{};
  if (fitted) {
    fit = FitView(image, *view, clientW, clientH);
    FittedAxis(d.xmap, clientW, fit.ax, fit.x.low, image->width);
    FittedAxis(d.ymap, clientH, fit.ay, fit.y.low, image->height);
  } else if (view && view->zoomKind != 0) {
    RegionAxis(d.xmap, clientW, view->left, view->right, image->width);
    RegionAxis(d.ymap, clientH, view->top, view->bottom, image->height);
  } else {
    StretchAxis(d.xmap, clientW, image->width);
    StretchAxis(d.ymap, clientH, image->height);
  }

  ErrorRows errors{};
  if (DiffusionMode(mode)) {
    if (!EnsureErrorRows(clientW)) {
      ShowMessageWith(kNoMemoryMessage, "to draw");
      return nullptr;
    }
    std::fill_n(d.rdith, clientW, std::int16_t{0});
    std::fill_n(d.gdith, clientW, std::int16_t{0});
    std::fill_n(d.bdith, clientW, std::int16_t{0});
    errors = {d.rdith, d.gdith, d.bdith};
  }

  const DisplayModeInfo& info = DisplayModeOf(mode);
  std::int64_t stride = DibRowStride(clientW, info.dibBits);
  std::int64_t pixelOffset = kDibHeaderBytes + std::int64_t{info.colours} * 4;
  std::int64_t imageBytes = stride * clientH;
  PlaceHandle dib = imageBytes <= INT32_MAX ? AllocVirtual(pixelOffset + imageBytes, "DIB") : nullptr;
  auto* bytes = dib ? static_cast<std::uint8_t*>(LockVirtual(dib)) : nullptr;
  if (!bytes) {
    if (dib) FreeVirtual(dib);
    ShowMessage(kNoDibMessage);
    return nullptr;
  }
  if (LockImage(image) != 0) {
    UnlockVirtual(dib);
    FreeVirtual(dib);
    ShowErrorBox(kNoImageMemoryText);
    return nullptr;
  }

  Put32(bytes, kDibHeaderBytes);
  Put32(bytes + 4, clientW);
  Put32(bytes + 8, clientH);
  Put16(bytes + 12, 1);
  Put16(bytes + 14, info.dibBits);
  Put32(bytes + 16, 0);
  Put32(bytes + 20, imageBytes);
  Put32(bytes + 24, kDibPixelsPerMetre);
  Put32(bytes + 28, kDibPixelsPerMetre);
  Put32(bytes + 32, info.colours);
  Put32(bytes + 36, info.colours);
  WriteColourTable(bytes + kDibHeaderBytes, mode);
  std::uint8_t* rows = bytes + pixelOffset;  // the place is zero-filled: padding and unrendered rows stay 0

  PixelSource src;
  src.xmap = d.xmap;
  src.blend = blend;
  src.alphaView = alphaView;
  for (int i = 0; i < 3; ++i) {
    src.back[i] = d.backColour[std::size_t(i)];
    src.alpha[i] = d.alphaColour[std::size_t(i)];
  }

  int total = dibLast - dibFirst + 1;
  int step = ProgressStep(mode, total);
  BeginProgress(kRenderTitle, total);
  CarriedErrors carried;
  int done = 0;
  // Rows are made in DIB order, the bottom of the picture first.
  for (int dy = dibFirst; dy <= dibLast; ++dy) {
    if (mode == kModeColour256 && view && view->renderState == kRenderStateResized) {
      // The window changed size under this render: drop it; the view is
      // rendered anew, at its new size, when it next paints.
      view->renderState = 1;
      view->reRender = 1;
      EndProgress();
      UnlockImage(image);
      UnlockVirtual(dib);
      FreeVirtual(dib);
      FreeMaps();
      return nullptr;
    }
    std::int32_t iy = d.ymap[clientH - 1 - dy];
    src.row = iy < 0 ? nullptr : PixelAt(image, 0, iy);
    RenderRow(mode, src, rows + dy * stride, clientW, SerpentineMode(mode) && (dy & 1), errors, carried);
    if (++done % step == 0) Progress(done);
  }
  EndProgress();
  UnlockImage(image);
  UnlockVirtual(dib);

  if (fitted) {
    // Let the region cover the margins, so that window positions map through
    // the region as they were drawn.
    Span x = Widened(fit.ax, fit.x, clientW), y = Widened(fit.ay, fit.y, clientH);
    view->left = ClampToInt32(x.low);
    view->right = ClampToInt32(x.high);
    view->top = ClampToInt32(y.low);
    view->bottom = ClampToInt32(y.high);
  }
  return dib;
}

int RefreshViewRows(ViewRecord* view, int /*left*/, int top, int /*right*/, int bottom) {
  if (!view || !view->image) return 1;
  int clientH = std::max(1, view->clientHeight);
  int first = std::max(top, 0);
  int last = std::min(bottom, clientH - 1);
  if (first > last) return 0;
  PlaceHandle dib = RenderView(view->image, view, nullptr, Display().mode, first, last);
  if (!dib) return 1;
  TheHost().ShowViewRows(view, DibBytes(dib), clientH - last - 1, last - first + 1);
  FreeVirtual(dib);
  return 0;
}

int InitialDisplayMode(int screenBits, int storedMode) {
  if (storedMode >= 0 && storedMode < kDisplayModeCount) return storedMode;
  if (screenBits >= 24) return kModeRgb24;
  if (screenBits >= 15) return kModeRgb16;
  if (screenBits >= 8) return kModeColour256;
  if (screenBits >= 4) return kModeColour16;
  return kModeBlackWhite;
}

DisplayInformation DescribeDisplay(const ScreenInfo& screen) {
  DisplayInformation out;
  out.bits = screen.bitsPerPixel * screen.planes;
  out.paletteDepth = out.bits == 24 ? 24 : (screen.colourResolution > 0 ? screen.colourResolution : 18);
  out.width = screen.width;
  out.height = screen.height;
  auto four = [](int v) {
    char text[16];
    std::snprintf(text, sizeof text, "%4d", v);
    return std::string(text);
  };
  out.bitsText = four(out.bits);
  out.depthText = four(out.paletteDepth);
  out.widthText = four(out.width);
  out.heightText = four(out.height);

  struct Known {
    int bits;
    const char* colours;
    const char* name;
    int mode;
  };
  static constexpr Known kKnown[] = {
      {32, "16.8 million", "RGB 32-bit", kModeRgb32}, {24, "16.8 million", "RGB 24-bit", kModeRgb24},
      {16, "65,536", "RGB 16-bit", kModeRgb16},       {8, "256", "256 Color", kModeColour256},
      {4, "16", "16 Color", kModeColour16},           {1, "2", "2 level B + W", kModeBlackWhite},
  };
  for (const Known& k : kKnown)
    if (k.bits == out.bits) {
      out.colours = k.colours;
      out.recommended = k.name;
      out.recommendedMode = k.mode;
      return out;
    }
  char count[32];
  int shift = std::clamp(out.bits, 0, 62);
  std::snprintf(count, sizeof count, "%ld", static_cast<long>(1LL << shift));
  out.colours = count;
  // Below 15 bits the nearest palette mode the screen can still show.
  if (out.bits >= 18) {
    out.recommended = "RGB 24-bit", out.recommendedMode = kModeRgb24;
  } else if (out.bits >= 15) {
    out.recommended = "RGB 16-bit", out.recommendedMode = kModeRgb16;
  } else if (out.bits >= 8) {
    out.recommended = "256 Color", out.recommendedMode = kModeColour256;
  } else if (out.bits >= 4) {
    out.recommended = "16 Color", out.recommendedMode = kModeColour16;
  } else {
    out.recommended = "2 level B + W", out.recommendedMode = kModeBlackWhite;
  }
  return out;
}

}  // namespace qv
