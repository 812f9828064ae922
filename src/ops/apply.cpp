#include "ops/apply.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "area/area_mask.h"
#include "base/host.h"
#include "base/messages.h"
#include "base/preferences.h"
#include "base/progress.h"
#include "base/string_table.h"
#include "display/views.h"
#include "ops/apply_state.h"
#include "ops/op_menu.h"
#include "ops/op_state.h"
#include "store/image_record.h"

namespace qv {
namespace {

constexpr int kMessageNoImages = 11;
constexpr int kMessageBusy = 86;
constexpr int kToApplyTheEffect = 16130;
constexpr int kSplatterTitle = 16132;
constexpr int kNoSelectionToApply = 16134;

constexpr OpId kBalance = 3184;
constexpr OpId kHistogram = 3185;
constexpr OpId kSample = 3187;
constexpr OpId kClip = 3171;
constexpr OpId kClipAlpha = 3176;
constexpr OpId kMakeArea = 3191;
constexpr OpId kPerspective = 3136;

std::string Text(int id) { return std::string(LoadString(id)); }

// "Mask with Alpha" for one pass: the mask is limited by the image's alpha
// where the operation allows it while the driver runs, and given back as
// drawn afterwards, so that the next effect on the same selection (or a
// Redo) starts from the mask the outline shows. Only the box is touched:
// the mask is 0 outside it.
class AlphaLimitedMask {
 public:
  AlphaLimitedMask(ImageRecord* image, const ApplyContext& c) {
    AreaMask& m = Area().mask;
    AlphaMaskRule rule;
    rule.opId = static_cast<int>(c.op);
    rule.catalogueForbids = NoAlphaMaskA(c.op) || NoAlphaMaskB(c.op);
    rule.affectAlpha = c.affectAlpha;
    if (!m.place || m.address || m.width != image->width || m.height != image->height) return;
    if (!AlphaLimitsMask(image, rule)) return;
    auto* mask = static_cast<std::uint8_t*>(LockVirtual(m.place));
    if (!mask) return;
    if (LockImage(image) != 0) {
      UnlockVirtual(m.place);
      return;
    }
    place_ = m.place;
    width_ = m.width;
    x0_ = c.x0, y0_ = c.y0, x1_ = c.x1, y1_ = c.y1;
    const std::size_t span = static_cast<std::size_t>(x1_ - x0_ + 1);
    drawn_.resize(span * static_cast<std::size_t>(y1_ - y0_ + 1));
    for (int y = y0_; y <= y1_; ++y)
      std::copy_n(mask + static_cast<std::size_t>(y) * width_ + x0_, span, drawn_.begin() + (y - y0_) * span);
    LimitMaskByAlpha(mask, image, x0_, y0_, x1_, y1_);
    UnlockImage(image);
    UnlockVirtual(m.place);
  }
  ~AlphaLimitedMask() {
    const AreaMask& m = Area().mask;
    if (!place_ || m.place != place_ || m.width != width_) return;
    auto* mask = static_cast<std::uint8_t*>(LockVirtual(place_));
    if (!mask) return;
    const std::size_t span = static_cast<std::size_t>(x1_ - x0_ + 1);
    for (int y = y0_; y <= y1_; ++y)
      std::copy_n(drawn_.begin() + (y - y0_) * span, span, mask + static_cast<std::size_t>(y) * width_ + x0_);
    UnlockVirtual(place_);
  }
  AlphaLimitedMask(const AlphaLimitedMask&) = delete;
  AlphaLimitedMask& operator=(const AlphaLimitedMask&) = delete;

 private:
  PlaceHandle place_ = nullptr;
  int width_ = 0;
  int x0_ = 0, y0_ = 0, x1_ = 0, y1_ = 0;
  std::vector<std::uint8_t> drawn_;
};

// Draw First: whether a selection has made a mask for this image.
bool MaskReady(const ImageRecord* image) {
  const AreaState& a = Area();
  return a.mask.place && a.selection.mode != 0 && a.mask.width == image->width && a.mask.height == image->height;
}

void SetBox(ApplyContext& c, ImageRecord* image) {
  const AreaSelection& s = Area().selection;
  if (Ops().workMethod == kDrawFirst && !MaskReady(image)) {
    c.x0 = 0;
    c.y0 = 0;
    c.x1 = image->width - 1;
    c.y1 = image->height - 1;
    c.cx = image->width / 2;
    c.cy = image->height / 2;
    c.rx = image->width / 2;
    c.ry = image->height / 2;
  } else {
    c.x0 = s.left;
    c.y0 = s.top;
    c.x1 = s.right;
    c.y1 = s.bottom;
    c.cx = s.centreX;
    c.cy = s.centreY;
    c.rx = s.radiusX;
    c.ry = s.radiusY;
  }
  c.sx0 = c.x0;
  c.sy0 = c.y0;
  c.sx1 = c.x1;
  c.sy1 = c.y1;
  c.x0 = std::clamp(c.x0, 0, image->width - 1);
  c.x1 = std::clamp(c.x1, 0, image->width - 1);
  c.y0 = std::clamp(c.y0, 0, image->height - 1);
  c.y1 = std::clamp(c.y1, 0, image->height - 1);
  if (c.x0 > c.x1) std::swap(c.x0, c.x1);
  if (c.y0 > c.y1) std::swap(c.y0, c.y1);
}

// Histogram with "Gather" off runs as a Point operation through its map.
int PrepareHistogramMap() {
  const ColourOpsState& col = Pipeline().colour;
  for (int c = 0; c < 3; ++c) {
    std::int32_t* t = LookupTable(c);
    if (!t) return 1;
    for (int i = 0; i < 256; ++i) t[i] = std::clamp<std::int32_t>(col.histogramMap[c][i], 0, 255);
  }
  if (std::int32_t* a = LookupTable(3))
    for (int i = 0; i < 256; ++i) a[i] = i;
  return 0;
}

void FinishFailed(int viewIndex) {
  InvalidateViewAt(viewIndex);
  Pipeline().busy = false;
}

// The views and the film strip after a change.
void ShowChange(ImageRecord* image, const int box[4]) {
  ApplyState& p = Pipeline();
  ++image->changed;
  // The outline of the selection stays for the next effect only where the
  // effect is chosen after drawing.
  AreaState& area = Area();
  const bool dropOutline = !DrawFirst() && area.shownOutline.count > 0;
  if (dropOutline) ClearPointList(area.shownOutline);
  if (!(p.generating && Prefs().inhibitDisplay)) {
    ChangeDisplay how;
    how.sizeChanged = p.sizeChanged;
    how.wholeClient = p.generating && p.level == 0;
    ShowImageChange(image, box[0], box[1], box[2], box[3], how);
  }
  if (dropOutline)
    for (ViewRecord* v : AllViews()) TheHost().InvalidateView(v);
  if (!p.generating && p.hooks.updateFilmStrip) p.hooks.updateFilmStrip(image);
}

}  // namespace

ApplyContext& Ctx() { return Pipeline().ctx; }

ColourOpsState::ColourOpsState() {
  for (auto& channel : histogramMap)
    for (int i = 0; i < 256; ++i) channel[i] = static_cast<std::int16_t>(i);
  // One black entry each: Remap changes nothing until palettes are set.
  remapFrom.count = 1;
  remapTo.count = 1;
}

ImageRecord* ActionImage() {
  ImageStore& s = Images();
  if (s.currentAction && ImageIndex(s.currentAction) >= 0) return s.currentAction;
  if (s.current && ImageIndex(s.current) >= 0) return s.current;
  return ImageCount() > 0 ? ImageAt(0) : nullptr;
}

ImageRecord* SourceImage() {
  ImageRecord* source = Pipeline().source;
  if (source && ImageIndex(source) >= 0) return source;
  return ActionImage();
}

bool DrawFirst() { return Ops().workMethod == kDrawFirst; }
void SetWorkMethod(int method) { Ops().workMethod = method == kDrawFirst ? kDrawFirst : kImmediatePainting; }

int AreaSelectionMade(int viewIndex) {
  if (DrawFirst()) return 0;
  return Apply(static_cast<int>(CurrentOp()), viewIndex);
}

int RedoSelection(ImageRecord* image) {
  if (!image) return 1;
  std::vector<ViewRecord*> shown = ViewsOf(image);
  if (!shown.empty()) {
    SetActionView(shown.front());
  } else {
    Images().current = image;
    Images().currentAction = image;
  }
  const int viewIndex = shown.empty() ? 0 : std::max(0, ViewIndexOf(shown.front()));
  AreaSelection& s = Area().selection;
  const std::int16_t shape = s.mode;
  const int code = BeginSelectionGesture(false, false);
  s.mode = kAreaRedo;
  const int made = FinishSelection(image, viewIndex, code);
  // The mode stays the shape's, for the next drawing.
  s.mode = shape;
  if (made != 0) return 1;
  return AreaSelectionMade(viewIndex);
}

int NoChangeCancel() {
  if (!Pipeline().generating) ShowMessage(kMessageNoChange);
  return 2;
}

int Apply(int command, int viewIndex) {
  ApplyState& p = Pipeline();
  ImageStore& images = Images();
  ImageRecord* action = ActionImage();
  // An Apply reached from inside a running one (a click while the progress
  // pumps events) must not start a second apply over the same context.
  if (p.busy) {
    ShowMessage(kMessageBusy);
    return 1;
  }
  switch (command) {
    case kSwapActionAndSource:
    case kRemoveOtherImages:
    case kCloneActionAsSource: {
      if (!action) {
        ShowMessageWith(kMessageNoImages, LoadString(kToApplyTheEffect));
        return 1;
      }
      ImageRecord* source = SourceImage();
      if (command == kSwapActionAndSource) {
        p.source = action;
        // The view showing the old source, else the first view, acts now.
        std::vector<ViewRecord*> shown = ViewsOf(source);
        Views().action = shown.empty() ? ViewAt(0) : shown.front();
        images.currentAction = source;
        images.current = source;
      } else if (command == kRemoveOtherImages) {
        for (int i = ImageCount() - 1; i >= 0; --i) {
          ImageRecord* other = ImageAt(i);
          if (other == action || other == source) continue;
          other->changed = 0;  // closing these offers no save
          RemoveImage(other);
        }
      } else {
        ImageRecord* clone = CloneImage(action, true);
        if (!clone) return 1;
        p.source = clone;
        images.currentAction = action;
      }
      if (CurrentOp() == kPerspective) RefreshSettingsDialog();
      return 0;
    }
    default:
      break;
  }
  if (p.sequenceApplying) return 0;
  int result = ApplyOperation(static_cast<OpId>(command), action, viewIndex);
  OpId op = static_cast<OpId>(command);
  if (result == 0 && IsCatalogued(op) && Ctx().kind != ApplyKind::Inspect && op != kClip &&
      op != kClipAlpha && op != kSample && op != kMakeArea)
    ++p.appliedChanges;
  return result;
}

int ApplyOperation(OpId op, ImageRecord* action, int viewIndex) {
  ApplyState& p = Pipeline();
  ApplyContext& c = p.ctx;
  if (ImageCount() == 0 && !action) {
    ShowMessageWith(kMessageNoImages, LoadString(kToApplyTheEffect));
    return 1;
  }
  if (!action) action = ActionImage();
  if (!action) {
    ShowMessageWith(kMessageNoImages, LoadString(kToApplyTheEffect));
    return 1;
  }
  if (CheckOperationAvailable(op) != 0) return 1;
  // Immediate Painting changes the area drawn on this image, as the outline
  // showed it; with none there is nothing to change (and nothing to undo or
  // to save afterwards).
  if (!p.generating && !DrawFirst() && !SelectionReadyOn(action)) {
    TheHost().ShowStatusText(std::string(LoadString(kNoSelectionToApply)));
    return 1;
  }
  const OpEntry& entry = OpOf(op);
  const std::string name(OpName(op));

  long started = Prefs().showChron ? ChronographBegin(name) : 0;
  p.suspendSplatter = false;
  p.busy = true;
  p.redrawOnly = false;
  p.sizeChanged = false;
  if (p.generating)
    LogLine("Operation : %s Frame: %ld Level: %ld\n", name.c_str(), p.frame + 1, p.level + 1);
  else
    LogLine("Operation : %s\n", name.c_str());
  LogLine("On : %s\n", ViewWindowTitle(viewIndex, action).c_str());

  c = ApplyContext{};
  c.image = action;
  c.viewIndex = viewIndex;
  c.op = op;
  switch (Prefs().modAlpha) {
    case kAffectRgbOnly: c.affectAlpha = false; break;
    case kAffectAlphaOnly: c.affectAlpha = true; break;
    default: c.affectAlpha = ViewShowsAlpha(viewIndex); break;
  }
  if (c.affectAlpha && !action->hasAlpha) action->hasAlpha = 1;

  AreaState& area = Area();
  const bool savedSplatter = area.splatter;
  if (op == kMakeArea) {
    p.suspendSplatter = true;
    area.splatter = false;
  }
  const bool splatter = area.splatter && !p.suspendSplatter;
  int passes = 1;
  if (splatter) {
    passes = std::max(1, area.splat.number);
    if (BeginSplatter(action, viewIndex) != 0) {
      FinishFailed(viewIndex);
      return 1;
    }
    area.run.opId = static_cast<int>(op);
    BeginProgress(Text(kSplatterTitle), passes);
  }
  c.splatPass = splatter;

  const int oldWidth = action->width, oldHeight = action->height;
  int result = 0;
  ApplyKind kind = EffectiveKind(entry);
  for (int r = 0; r < passes; ++r) {
    if (splatter) {
      if (Progress(r) != 0) {
        result = 1;  // stopped
        break;
      }
      if (MakeSplat(action, viewIndex, r) != 0) {
        result = 1;
        break;
      }
    }
    if (Ops().workMethod == kDrawFirst && !MaskReady(action) && area.mask.place && !splatter) {
      // No selection yet: the effect covers the whole image.
      FreeVirtual(area.mask.place);
      area.mask.place = nullptr;
    }
    SetBox(c, action);

    if (op == kBalance && p.colour.balancePick) {
      // "Sample Now" waited for this Apply: it measures instead of changing.
      const OpEntry& sample = OpOf(kSample);
      c.routines = sample.routines;
      c.kind = ApplyKind::Inspect;
      {
        AlphaLimitedMask limited(action, c);
        result = RunDriver(ApplyKind::Inspect);
      }
      p.colour.balancePick = false;
      kind = ApplyKind::Inspect;
      RefreshSettingsDialog();
      break;
    }
    if (p.sequenceRequested && p.hooks.applyToSequence) {
      p.sequenceRequested = false;
      p.sequenceApplying = true;
      p.hooks.applyToSequence();
      p.sequenceApplying = false;
      p.busy = false;
      return 0;
    }

    c.generationCount = 1;
    c.generation = 0;
    int prepared = 0;
    if (op == kHistogram && kind == ApplyKind::Point) {
      prepared = PrepareHistogramMap();
    } else if (entry.routines.prepare) {
      prepared = entry.routines.prepare();
    }
    if (prepared != 0) {
      if (splatter) {
        EndProgress();
        EndSplatter(action, viewIndex);
      }
      area.splatter = savedSplatter;
      FinishFailed(viewIndex);
      if (Prefs().showChron) ChronographEnd(started, name);
      return 2;
    }
    c.routines = entry.routines;
    c.kind = kind;

    ImageRecord* source = nullptr;
    if (entry.needsSource) {
      source = SourceImage();
      if (source != action && LockImage(source) != 0) source = nullptr;
      if (source) {
        if (source == action) LockImage(source);
        c.sourcePixels = source->pixels;
        c.sourceRows = source->rows;
        c.sourceWidth = source->width;
        c.sourceHeight = source->height;
      }
    }
    {
      AlphaLimitedMask limited(action, c);
      result = RunDriver(kind);
    }
    if (c.routines.finish) c.routines.finish();
    if (source) UnlockImage(source);
    if (splatter && result == 0 && kind != ApplyKind::Inspect && !p.redrawOnly) area.run.changed = true;
    if (result != 0) break;
  }

  int changeBox[4] = {c.x0, c.y0, c.x1, c.y1};
  // A stop in a later splat pass leaves the splats before it in the image.
  bool changed = result == 0 && kind != ApplyKind::Inspect && !p.redrawOnly;
  if (splatter) {
    changed = area.run.changed;
    EndProgress();
    EndSplatter(action, viewIndex);
    std::copy(std::begin(area.changeBox), std::end(area.changeBox), changeBox);
  }
  if (Prefs().showChron) ChronographEnd(started, name);

  p.sizeChanged = action->width != oldWidth || action->height != oldHeight;
  if (changed && c.result) {
    const int whole[4] = {0, 0, c.result->width - 1, c.result->height - 1};
    ShowChange(c.result, whole);
  } else if (changed) {
    ShowChange(action, changeBox);
  } else {
    InvalidateViewAt(viewIndex);
  }

  p.busy = false;
  if (op == kMakeArea) {
    area.splatter = savedSplatter;
    if (p.opBeforeMakeArea != 0 && IsCatalogued(p.opBeforeMakeArea)) {
      OpId back = p.opBeforeMakeArea;
      p.opBeforeMakeArea = 0;
      Ops().workMethod = p.methodBeforeMakeArea;
      OpsState& ops = Ops();
      if (ops.hooks.markOperation) ops.hooks.markOperation(ops.current, back);
      ops.current = back;
      RefreshSettingsDialog();
    }
  }
  return result;
}

// The chronograph.

std::string FormatChronoTime(long ms) {
  char text[32];
  std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld.%03ld", (ms / 3600000) % 60, (ms / 60000) % 60,
                (ms / 1000) % 60, ms % 1000);
  return text;
}

namespace {

long NowMillisecondsOfDay() {
  auto now = std::chrono::system_clock::now();
  std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&t, &local);
  long ms = static_cast<long>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
  return ((local.tm_hour * 60L + local.tm_min) * 60L + local.tm_sec) * 1000L + ms;
}

}  // namespace

long ChronographBegin(const std::string& action) {
  long start = NowMillisecondsOfDay();
  std::string shown = FormatChronoTime(start);
  TheHost().ShowChronograph(action, shown, "", "");
  LogLine("Time Begin: %20s, %s\n", action.c_str(), shown.c_str());
  return start;
}

long ChronographEnd(long start, const std::string& action) {
  long now = NowMillisecondsOfDay();
  // Work that ran past midnight still has a positive duration.
  long elapsed = now - start;
  if (elapsed < 0) elapsed += 24L * 3600 * 1000;
  std::string end = FormatChronoTime(now), took = FormatChronoTime(elapsed);
  TheHost().ShowChronograph(action, FormatChronoTime(start), end, took);
  LogLine("Time End:   %20s, %s\n", action.c_str(), end.c_str());
  LogLine("Elapsed:    %20s, %s\n", action.c_str(), took.c_str());
  return elapsed;
}

}  // namespace qv
