// Running the exposure sheet: every frame composed from left to right (the
// background, then each actor merged onto it or handed to the operations
// that follow it) and sent to the outputs of sequence generation; and
// Perform/Preview, the current operation over the file cells of a block.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>

#include "anim/anim_state.h"
#include "anim/exposure_sheet.h"
#include "anim/timeline_file.h"
#include "area/area_mask.h"
#include "area/stored_area.h"
#include "base/messages.h"
#include "base/preferences.h"
#include "base/progress.h"
#include "display/views.h"
#include "formats/formats_state.h"
#include "formats/image_files.h"
#include "formats/save_choices.h"
#include "formats/save_image.h"
#include "formats/still_writers.h"
#include "ops/apply.h"
#include "ops/collage_ops.h"
#include "ops/op_settings.h"
#include "ops/op_state.h"
#include "store/image_record.h"

namespace qv {
namespace {

constexpr int kMessageRunning = 78;
constexpr int kMessageNoColumns = 82;
constexpr int kMessageBusy = 86;
constexpr int kMessageNoImage = 87;
constexpr int kMessageOutputExists = 91;
constexpr int kMessageNoWriter = 103;
constexpr int kMessageBeforeStart = 46;
constexpr int kMessagePastTotal = 30;
constexpr const char* kSequenceTitle = "Sequence";

std::string NameOf(const TimeFileRecord& r) { return std::string(r.fileName, strnlen(r.fileName, sizeof r.fileName)); }

std::string PathOf(const TimeFileRecord& r) {
  return ResolveTimeLinePath(NameOf(r), std::filesystem::path(Sheet().title).parent_path(),
                             std::filesystem::path(FileLoads().projPath))
      .string();
}

// The whole image as the area: mode Entire, level 255, edge fade 0, grow 100.
int SetWholeArea(ImageRecord* image, int view) {
  StoredArea whole;
  whole.mode = kAreaEntire;
  whole.maskWidth = image->width;
  whole.maskHeight = image->height;
  whole.level = 255;
  whole.edgeFade = 0;
  whole.grow = 100;
  return ApplyStoredArea(whole, image, view);
}

void ApplyColumnTransparency(StoredArea& area, int column, int f) {
  const TrendVar vars[3] = {kTrendLevel, kTrendEdgeFade, kTrendGrow};
  std::int32_t* fields[3] = {&area.level, &area.edgeFade, &area.grow};
  for (int i = 0; i < 3; ++i)
    if (const Trend* t = FindTrend(vars[i], column); t && f < t->room) *fields[i] = t->frameValues[f];
}

// What a run changes and gives back.
struct Kept {
  int areaMode = 0;
  OpId op = 0;
  int workMethod = 0;
  ImageRecord* current = nullptr;
  ImageRecord* currentAction = nullptr;
  ImageRecord* source = nullptr;
  bool wasRunning = false;
};

Kept KeepState() {
  Kept k;
  k.areaMode = Area().selection.mode;
  k.op = Ops().current;
  k.workMethod = Ops().workMethod;
  k.current = Images().current;
  k.currentAction = Images().currentAction;
  k.source = Pipeline().source;
  return k;
}

void RestoreState(const Kept& k) {
  Area().selection.mode = static_cast<std::int16_t>(k.areaMode);
  OpsState& ops = Ops();
  if (ops.current != k.op) {
    const OpId was = ops.current;
    ops.current = k.op;
    if (ops.hooks.markOperation) ops.hooks.markOperation(was, k.op);
    if (ops.hooks.refreshSettings) ops.hooks.refreshSettings();
  }
  ops.workMethod = k.workMethod;
  auto inTable = [](ImageRecord* image) { return image && ImageIndex(image) >= 0 ? image : nullptr; };
  Images().current = inTable(k.current);
  Images().currentAction = inTable(k.currentAction);
  Pipeline().source = inTable(k.source);
}

class SheetRun {
 public:
  explicit SheetRun(const GenerateRequest& r) : r_(r) {}
  ~SheetRun() {
    DropFrameImages();
    for (auto& [path, image] : cache_) FreeImage(image);
  }
  int Go();

 private:
  int Frame(int f, bool writing);
  int Columns(int f, ImageRecord*& current);
  ImageRecord* Load(const TimeFileRecord& record);
  void DropFrameImages();
  void ForgetFilesNotAt(int f);
  std::string OutName(int frame) const {
    return RequestOutputName(r_, frame);
  }

  const GenerateRequest& r_;
  int columns_ = 0;
  int view_ = 0;
  // Each file as read, outside the table: every frame starts from a copy.
  std::map<std::string, ImageRecord*> cache_;
  std::vector<ImageRecord*> frameImages_;
};

ImageRecord* SheetRun::Load(const TimeFileRecord& record) {
  const std::string path = PathOf(record);
  auto found = cache_.find(path);
  if (found == cache_.end()) {
    std::string opened = path;
    ImageRecord* image = LoadImageFile(nullptr, opened);
    if (!image) return nullptr;
    found = cache_.emplace(path, image).first;
  }
  ImageRecord* copy = nullptr;
  if (r_.accumulate) {
    // Changes build up: the frame works on the file's image itself.
    copy = found->second;
    if (ImageIndex(copy) >= 0) return copy;
  } else {
    copy = CloneImage(found->second, false);
  }
  if (!copy || AddImage(copy, false) != 0) {
    if (copy && copy != found->second) FreeImage(copy);
    ShowMessageWith(22, "for exposure sheet");
    return nullptr;
  }
  if (copy != found->second) frameImages_.push_back(copy);
  return copy;
}

void SheetRun::DropFrameImages() {
  for (ImageRecord* image : frameImages_)
    if (ImageIndex(image) >= 0) {
      image->changed = 0;  // made by the run: nothing to save
      RemoveImage(image);
    }
  frameImages_.clear();
}

// A sheet of a thousand pictures never holds more than two frames' files.
void SheetRun::ForgetFilesNotAt(int f) {
  if (r_.accumulate) return;
  std::set<std::string> wanted;
  for (int c = 0; c < columns_; ++c)
    if (const TimeFileRecord* r = SheetFileAt(c, f)) wanted.insert(PathOf(*r));
  for (auto it = cache_.begin(); it != cache_.end();) {
    if (wanted.count(it->first)) {
      ++it;
      continue;
    }
    FreeImage(it->second);
    it = cache_.erase(it);
  }
}

int SheetRun::Columns(int f, ImageRecord*& current) {
  ImageStore& images = Images();
  ApplyState& p = Pipeline();
  ImageRecord* source = nullptr;
  auto noImage = [] {
    ShowMessage(kMessageNoImage);
    return 1;
  };
  for (int c = 0; c < columns_; ++c) {
    p.level = c;
    const std::uint16_t tag = SheetTagAt(c, f);
    if (tag == 0) continue;
    if (tag == kSheetFile) {
      ImageRecord* image = Load(*SheetFileAt(c, f));
      if (!image) return 1;
      if (c == 0) {
        current = image;
        continue;
      }
      // A neighbour off the sheet is empty.
      const std::uint16_t right = c + 1 < kSheetColumns ? SheetTagAt(c + 1, f) : 0;
      if (right == kSheetOp || right == kSheetArea) {
        source = current;
        current = image;
        continue;
      }
      if (!current) return noImage();
      images.current = images.currentAction = current;
      p.source = image;
      if (SetWholeArea(current, view_) != 0) return 1;
      if (ApplyOperation(kMerge, current, view_) == 1) return 1;
    } else if (tag == kSheetOp) {
      const OpSettings settings = *SheetOpAt(c, f);
      if (!current) return noImage();
      if (NeedsSource(settings.id)) {
        if (source) std::swap(source, current);
        else source = current;
      }
      if (SheetTagAt(c - 1, f) != kSheetArea && SetWholeArea(current, view_) != 0) return 1;
      if (RestoreOpSettings(settings) != 0) return 1;
      ApplyAllTrends(settings.id, c, f);
      images.current = images.currentAction = current;
      p.source = source;
      const int result = ApplyOperation(settings.id, current, view_);
      // 2: the settings would change nothing; the frame goes on.
      if (result == 1) return 1;
      if (result == 0 && Ctx().result) {
        current = Ctx().result;
        frameImages_.push_back(current);
      }
    } else {
      if (!current) return noImage();
      StoredArea area = *SheetAreaAt(c, f);
      ApplyColumnTransparency(area, c, f);
      if (ApplyStoredArea(area, current, view_) != 0) return 1;
    }
  }
  return 0;
}

int SheetRun::Frame(int f, bool writing) {
  const auto started = std::chrono::steady_clock::now();
  if (SequenceStep(std::max(0, f - (r_.begin - 1)))) return 1;
  Anim().timeline.cursor.frame = f;
  Pipeline().frame = f;
  ClearAreaSelection();
  ImageRecord* current = r_.image;
  if (Columns(f, current) != 0) return 1;
  std::string file;
  if (writing && r_.save) {
    if (!current) {
      ShowMessage(kMessageNoImage);
      return 1;
    }
    file = OutName(f);
    int saved = 0;
    if (r_.type == kSeqTypeFlc) saved = AppendFlicFrame(current, file, f, f + 1 == SheetFrames());
    else if (r_.type == kSeqTypeAvi) saved = AddAviFrame(current, file, DepthBits(r_.depthEntry, current) == 8 ? 8 : 24);
    else saved = SaveFrame(current, file, r_.type, r_.depthEntry, r_.compress, r_.quality);
    if (saved != 0) return 1;
  }
  if (writing && r_.film && current) {
    if (PlaceImage(*current, f) != 0) return 1;
    SetCurrentFilmFrame(f);
  }
  if (writing && r_.frameDone) {
    const long ms = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count());
    r_.frameDone(f + 1, file, ms);
  }
  Images().current = Images().currentAction = nullptr;
  Pipeline().source = nullptr;
  DropFrameImages();
  ForgetFilesNotAt(f + 1);
  return 0;
}

int SheetRun::Go() {
  SequenceState& seq = Sequence();
  if (Pipeline().busy) {
    ShowMessage(kMessageBusy);
    return 1;
  }
  if (seq.running || Sheet().performing) {
    ShowMessage(kMessageRunning);
    return 1;
  }
  if (r_.begin < 1 || r_.begin > r_.finish) {
    ShowMessage(kMessageBeforeStart);
    return 1;
  }
  if (r_.finish > SheetFrames()) {
    ShowMessage(kMessagePastTotal);
    return 1;
  }
  long chron = 0;
  if (Prefs().showChron) chron = ChronographBegin(kSequenceTitle);
  auto endEarly = [&](int code) {
    if (Prefs().showChron) ChronographEnd(chron, kSequenceTitle);
    return code;
  };
  columns_ = SheetColumnsInUse();
  if (columns_ == 0 && AskProceed(kMessageNoColumns) == 0) return endEarly(2);
  if (r_.save) {
    if (const int checked = CheckRequestOutputNames(r_); checked != 0) return endEarly(checked);
  }
  if (r_.film && EnsureFilm() != 0) return endEarly(1);
  if (r_.hideOpControls && Ops().hooks.closeSettings) Ops().hooks.closeSettings();

  const Kept kept = KeepState();
  const int cursorFrame = Anim().timeline.cursor.frame;
  seq.running = true;
  Ops().workMethod = kDrawFirst;
  view_ = std::max(0, ActionViewIndex());
  ApplyState& p = Pipeline();
  p.generating = true;
  BeginSequence(kSequenceTitle, r_.finish - r_.begin + 1);
  int result = RunRequestFrames(r_, [this](int f, bool writing) { return Frame(f, writing); });
  DropFrameImages();
  for (auto& [path, image] : cache_) {
    if (ImageIndex(image) >= 0) {
      image->changed = 0;
      RemoveImage(image);
    } else {
      FreeImage(image);
    }
  }
  cache_.clear();
  EndSequence();
  RestoreState(kept);
  Anim().timeline.cursor.frame = cursorFrame;
  p.generating = false;
  p.frame = p.level = 0;
  seq.running = false;
  if (Prefs().showChron) ChronographEnd(chron, kSequenceTitle);
  return result;
}

// ---- Perform and Preview ----

bool WritableType(int type) { return type >= 0 && type != kSaveFlick && type != kSaveAvi; }

}  // namespace

int RunSheet(const GenerateRequest& request) {
  SheetRun run(request);
  return run.Go();
}

int PerformSheet(const PerformRequest& request) {
  SheetState& sheet = Sheet();
  if (Pipeline().busy) {
    ShowMessage(kMessageBusy);
    return 1;
  }
  if (Sequence().running || sheet.performing) {
    ShowMessage(kMessageRunning);
    return 1;
  }
  const char* title = request.save ? "Perform" : "Preview";
  SheetBlock b = request.block;
  b.lastColumn = std::min(b.lastColumn, SheetColumnsInUse() - 1);
  b.lastFrame = std::min(b.lastFrame, SheetFrames() - 1);
  std::vector<std::pair<int, int>> cells;  // (frame, column) of the file cells
  for (int f = std::max(0, b.firstFrame); f <= b.lastFrame; ++f)
    for (int c = std::max(0, b.firstColumn); c <= b.lastColumn; ++c)
      if (SheetFileAt(c, f)) cells.emplace_back(f, c);
  if (cells.empty()) return 0;
  if (request.save && !request.replace &&
      AskReplace(kMessageOutputExists, NameOf(*SheetFileAt(cells.front().second, cells.front().first))) == 0)
    return 2;
  if (request.film && EnsureFilm() != 0) return 1;

  const long chron = Prefs().showChron ? ChronographBegin(title) : 0;
  const Kept kept = KeepState();
  sheet.performing = true;
  const int view = std::max(0, ActionViewIndex());
  const OpId op = Ops().current;
  Ops().workMethod = kDrawFirst;  // the whole image, as set before each apply
  // The progress of a run, not of one apply: the run frees its images as it goes.
  BeginSequence(title, static_cast<int>(cells.size()));
  // A file named by several cells is changed once, not once a cell.
  std::set<std::string> done;
  int result = 0;
  for (std::size_t i = 0; i < cells.size() && result == 0; ++i) {
    if (SequenceStep(static_cast<int>(i))) {
      result = 1;
      break;
    }
    const auto [f, c] = cells[i];
    const TimeFileRecord& record = *SheetFileAt(c, f);
    const std::string path = PathOf(record);
    if (request.save && !done.insert(path).second) continue;
    if (request.save && (record.video || IsVideoName(path))) {
      // One frame written over a video would lose every other frame.
      ShowMessageWith(kMessageNoWriter, path);
      continue;
    }
    std::string opened = path;
    ImageRecord* image = LoadImageFile(nullptr, opened);
    if (!image) {
      result = 1;
      break;
    }
    const int type = SaveTypeOfImage(image);
    if (request.save && !WritableType(type)) {
      ShowMessageWith(kMessageNoWriter, path);
      FreeImage(image);
      continue;
    }
    if (AddImage(image, false) != 0) {
      FreeImage(image);
      result = 1;
      break;
    }
    Images().current = Images().currentAction = image;
    int applied = SetWholeArea(image, view);
    if (applied == 0) applied = ApplyOperation(op, image, view);
    ImageRecord* shown = applied == 0 && Ctx().result ? Ctx().result : image;
    if (applied == 1) result = 1;
    if (result == 0 && request.save && applied == 0) {
      const int compress = shown->saveOption ? 1 : 0;
      const int quality = std::clamp<int>(shown->saveQuality, 0, 100);
      if (SaveFrame(shown, path, type, OwnDepthEntry(image, type), compress, quality) != 0) result = 1;
      else LogLine("Perform: %s saved\n", path.c_str());
    }
    if (result == 0 && request.film && PlaceImage(*shown, f) == 0) SetCurrentFilmFrame(f);
    if (request.cellDone) request.cellDone(path, result == 0 && request.save && applied == 0);
    for (ImageRecord* made : {shown, image})
      if (ImageIndex(made) >= 0) {
        made->changed = 0;
        RemoveImage(made);
      }
  }
  EndSequence();
  RestoreState(kept);
  sheet.performing = false;
  if (Prefs().showChron) ChronographEnd(chron, title);
  return result;
}

}  // namespace qv
