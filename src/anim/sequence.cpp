#include "anim/sequence.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "anim/anim_state.h"
#include "anim/film_strip.h"
#include "anim/timeline_file.h"
#include "area/area_mask.h"
#include "area/stored_area.h"
#include "base/crt_random.h"
#include "base/messages.h"
#include "base/preferences.h"
#include "base/progress.h"
#include "display/views.h"
#include "formats/formats_state.h"
#include "formats/image_files.h"
#include "formats/save_choices.h"
#include "ops/apply.h"
#include "ops/op_settings.h"
#include "ops/op_state.h"
#include "store/image_record.h"
#include "store/undo.h"

namespace qv {
namespace {

constexpr int kMessageRunning = 78;
constexpr int kMessageNoLevels = 82;
constexpr int kMessageBusy = 86;
constexpr int kMessageNoImage = 87;
constexpr int kMessageOutputExists = 91;
constexpr int kMessageBeforeStart = 46;
constexpr int kMessagePastTotal = 30;
constexpr const char* kSequenceTitle = "Sequence";

constexpr int kNotALevel = -1000000;

// "Level(%d)": the number it gives (any, even 0 or negative), or kNotALevel
// when the name is a file's.
int LevelNamed(const char* name) {
  int n = 0;
  char close = 0;
  if (std::strncmp(name, "Level(", 6) != 0 && std::strncmp(name, "level(", 6) != 0) return kNotALevel;
  if (std::sscanf(name + 6, "%d%c", &n, &close) != 2 || close != ')') return kNotALevel;
  return n;
}

const TimeFileRecord* FileAt(int level, int frame, int row, std::int64_t* videoFrame = nullptr) {
  const CellContent c = EffectiveContent(level, frame, row);
  if (c.key == kCellEmpty) return nullptr;
  if (videoFrame) *videoFrame = c.videoFrame;
  return FileRecordOf(c.key);
}

// The film step: the frame's picture fitted into its slot, which becomes
// the film's current frame.
int PlaceOnFilm(const ImageRecord& image, int frame) {
  if (PlaceImage(image, frame) != 0) return 1;
  SetCurrentFilmFrame(frame);
  return 0;
}

// Everything a run changes and must give back, and what each frame starts
// from.
struct RunScope {
  int areaMode = 0;
  int cursorFrame = 0;
  OpId op = 0;
  int undoLevels = 0;
  int workMethod = 0;
  bool splatter = false;
  SplatterSettings splat;
  ImageRecord* current = nullptr;
  ImageRecord* currentAction = nullptr;
  ImageRecord* source = nullptr;
  long chronStart = 0;
};

class Run {
 public:
  explicit Run(const GenerateRequest& r) : r_(r), s_(Sequence()) {}
  int Go();

 private:
  int Frame(int f, bool writing);
  int Level(int level, int f, bool& areaApplied);
  ImageRecord* Resolve(const TimeFileRecord& record, int level);
  SequenceState::Kept* KeptOf(ImageRecord* image);
  SequenceState::Kept* Keep(ImageRecord* image);
  void StartFrame();
  void EndFrame(int f);
  bool NamedAt(const std::string& path, int f) const;
  void Finish();
  std::string NameOf(int frame) const;
  bool LaterLevelWants(int level, int f, int levels) const;

  const GenerateRequest& r_;
  SequenceState& s_;
  RunScope scope_;
  int levels_ = 0;
  // Images made for one frame only (fresh copies, level results).
  std::vector<ImageRecord*> frameImages_;
  // Each kept image's unsaved mark when the frame began: an image changed
  // since then no longer equals its file.
  std::vector<std::uint16_t> frameMarks_;
  std::filesystem::path folder_;
  int view_ = 0;
};

std::string Run::NameOf(int frame) const { return RequestOutputName(r_, frame); }

SequenceState::Kept* Run::KeptOf(ImageRecord* image) {
  for (auto& k : s_.kept)
    if (k.image == image) return &k;
  return nullptr;
}

// The image's copy as the run first met it, so that a frame can start again
// from it whatever the number of undo levels.
SequenceState::Kept* Run::Keep(ImageRecord* image) {
  if (SequenceState::Kept* k = KeptOf(image)) return k;
  ImageRecord* copy = CloneImage(image, false);
  if (!copy) return nullptr;
  s_.kept.push_back({image, copy, image->changed});
  frameMarks_.push_back(image->changed);
  return &s_.kept.back();
}

ImageRecord* Run::Resolve(const TimeFileRecord& record, int level) {
  const std::string name(record.fileName, strnlen(record.fileName, sizeof record.fileName));
  if (const int n = LevelNamed(name.c_str()); n != kNotALevel) {
    // Only a level below has produced anything in this frame.
    if (n < 1 || n - 1 >= level || !s_.levelResults[n - 1]) {
      ShowMessageWith(kMessageNoImage, name);
      return nullptr;
    }
    return s_.levelResults[n - 1];
  }
  if (name.empty()) {
    ShowMessage(kMessageNoImage);
    return nullptr;
  }
  const std::string path =
      ResolveTimeLinePath(name, folder_, std::filesystem::path(FileLoads().projPath)).string();
  // An image of the table under this file name (or, without a file, this
  // display name) that the frame has not changed equals its file.
  ImageRecord* found = nullptr;
  for (const auto& [loadedPath, image] : s_.loaded)
    if (loadedPath == path && ImageIndex(image) >= 0) found = image;
  for (int i = 0; i < ImageCount() && !found; ++i) {
    ImageRecord* image = ImageAt(i);
    if (std::find(frameImages_.begin(), frameImages_.end(), image) != frameImages_.end()) continue;
    const bool named = (image->path[0] && (path == image->path || name == image->path)) ||
                       (!image->path[0] && name == image->name);
    if (named) found = image;
  }
  if (found) {
    SequenceState::Kept* k = Keep(found);
    if (!k) return nullptr;
    const std::size_t index = static_cast<std::size_t>(k - s_.kept.data());
    if (found->changed == frameMarks_[index]) return found;
    // Changed by a lower level: a fresh copy of the file for this frame.
    ImageRecord* fresh = CloneImage(k->original, false);
    if (!fresh || AddImage(fresh, false) != 0) {
      if (fresh) FreeImage(fresh);
      return nullptr;
    }
    frameImages_.push_back(fresh);
    return fresh;
  }
  std::string loadPath = path;
  ImageRecord* image = LoadImageFile(nullptr, loadPath);
  if (!image) return nullptr;
  if (AddImage(image, false) != 0) {
    FreeImage(image);
    return nullptr;
  }
  s_.loaded.emplace_back(path, image);
  if (!Keep(image)) return nullptr;
  return image;
}

bool Run::LaterLevelWants(int level, int f, int levels) const {
  for (int m = level + 1; m < levels; ++m)
    if (const TimeFileRecord* src = FileAt(m, f, kRowSource))
      if (LevelNamed(src->fileName) == level + 1) return true;
  return false;
}

void ApplyTransparencyTrends(StoredArea& area, int level, int f) {
  const TrendVar vars[3] = {kTrendLevel, kTrendEdgeFade, kTrendGrow};
  std::int32_t* fields[3] = {&area.level, &area.edgeFade, &area.grow};
  for (int i = 0; i < 3; ++i)
    if (const Trend* t = FindTrend(vars[i], level); t && f < t->room) *fields[i] = t->frameValues[f];
}

// One level of one frame: 0 done, 1 the run ends.
int Run::Level(int level, int f, bool& areaApplied) {
  ApplyState& p = Pipeline();
  ImageStore& images = Images();
  p.level = level;
  if (SequenceStep(std::max(0, f - (r_.begin - 1)))) return 1;

  std::int64_t videoFrame = 0;
  if (const TimeFileRecord* src = FileAt(level, f, kRowSource, &videoFrame)) {
    ImageRecord* image = Resolve(*src, level);
    if (!image) return 1;
    p.source = image;
  }
  if (const TimeFileRecord* act = FileAt(level, f, kRowAction, &videoFrame)) {
    ImageRecord* image = Resolve(*act, level);
    if (!image) return 1;
    images.currentAction = image;
    images.current = image;
    if (s_.showAction) s_.showAction(image);
  }
  ImageRecord* action = ActionImage();

  const CellContent area = EffectiveContent(level, f, kRowArea);
  if (const StoredArea* key = AreaRecordOf(area.key)) {
    if (!action) {
      ShowMessage(kMessageNoImage);
      return 1;
    }
    // The level's transparency Trends set the selection's values at f.
    StoredArea a = *key;
    ApplyTransparencyTrends(a, level, f);
    int made = 0;
    if (const StoredArea* next = AreaRecordOf(area.next)) {
      StoredArea b = *next;
      ApplyTransparencyTrends(b, level, f);
      made = AreaForFrame(a, b, area.keyFrame, area.nextFrame, f, FrameCount(), action, view_);
    } else {
      made = ApplyStoredArea(a, action, view_);
    }
    if (made != 0) return 1;
    areaApplied = true;
  } else if (!areaApplied) {
    // No area: the operation works on the whole image.
    ClearAreaSelection();
  }

  const CellContent op = EffectiveContent(level, f, kRowOp);
  if (op.op) {
    const OpSettings settings = *op.op;
    if (RestoreOpSettings(settings) != 0) return 1;
    ApplyAllTrends(settings.id, level, f);
    if (!action) {
      ShowMessage(kMessageNoImage);
      return 1;
    }
    if (!Keep(action)) return 1;
    const int result = ApplyOperation(settings.id, action, view_);
    // 2: the settings would change nothing; the frame goes on.
    if (result == 1) return 1;
    if (result == 0 && Ctx().result) {
      // An operation that makes a new image hands that one on.
      images.currentAction = images.current = Ctx().result;
      frameImages_.push_back(Ctx().result);
    }
  }

  if (LaterLevelWants(level, f, levels_)) {
    ImageRecord* current = ActionImage();
    ImageRecord* copy = current ? CloneImage(current, false) : nullptr;
    if (!copy || AddImage(copy, false) != 0) {
      if (copy) FreeImage(copy);
      ShowMessage(kMessageNoImage);
      return 1;
    }
    std::snprintf(copy->name, sizeof copy->name, "Level(%d)", level + 1);
    frameImages_.push_back(copy);
    s_.levelResults[static_cast<std::size_t>(level)] = copy;
  }
  return 0;
}

// Every frame begins alike: the images the run started with current, no
// selection, no level results, no previous mask, the random generator at
// its first state.
void Run::StartFrame() {
  ImageStore& images = Images();
  images.current = scope_.current;
  images.currentAction = scope_.currentAction;
  Pipeline().source = scope_.source;
  AreaState& area = Area();
  ClearAreaSelection();
  if (area.previous.bytes) FreeReal(area.previous.bytes, "oldm");
  area.previous = PreviousMask{};
  area.splatter = scope_.splatter;
  area.splat = scope_.splat;
  std::fill(s_.levelResults.begin(), s_.levelResults.end(), nullptr);
  RandomState() = CrtRandom{};
  frameMarks_.resize(s_.kept.size());
  for (std::size_t i = 0; i < s_.kept.size(); ++i) frameMarks_[i] = s_.kept[i].image->changed;
}

void RestorePicture(ImageRecord* image, ImageRecord* original) {
  if (image->width == original->width && image->height == original->height) {
    if (LockImage(image) == 0) {
      if (LockImage(original) == 0) {
        std::memcpy(image->pixels, original->pixels, static_cast<std::size_t>(image->width) * image->height * 4);
        UnlockImage(original);
      }
      UnlockImage(image);
    }
  } else if (ImageRecord* copy = CloneImage(original, false)) {
    SwapImageBodies(image, copy);
    FreeImage(copy);
  }
  image->hasAlpha = original->hasAlpha;
}

bool Run::NamedAt(const std::string& path, int f) const {
  if (f >= FrameCount()) return false;
  const std::filesystem::path project(FileLoads().projPath);
  for (int level = 0; level < levels_; ++level)
    for (int row : {kRowSource, kRowAction})
      if (const TimeFileRecord* r = FileAt(level, f, row)) {
        const std::string name(r->fileName, strnlen(r->fileName, sizeof r->fileName));
        if (LevelNamed(name.c_str()) == kNotALevel && ResolveTimeLinePath(name, folder_, project).string() == path)
          return true;
      }
  return false;
}

void Run::EndFrame(int f) {
  for (ImageRecord* image : frameImages_) {
    if (ImageIndex(image) < 0) continue;
    image->changed = 0;  // made by the run: nothing to save
    RemoveImage(image);
  }
  frameImages_.clear();
  std::fill(s_.levelResults.begin(), s_.levelResults.end(), nullptr);
  if (r_.accumulate) return;
  // The next frame starts from the images as they were, whatever the
  // number of undo levels; their unsaved marks are theirs again.
  for (std::size_t i = 0; i < s_.kept.size(); ++i) {
    SequenceState::Kept& k = s_.kept[i];
    if (k.image->changed == frameMarks_[i]) continue;
    RestorePicture(k.image, k.original);
    k.image->changed = k.startChanged;
    DropImageLayers(k.image);
  }
  // A file the next frame does not name goes, with generation's copy of
  // it: a sequence of a thousand pictures never holds more than a frame's.
  for (std::size_t i = s_.loaded.size(); i-- > 0;) {
    ImageRecord* image = s_.loaded[i].second;
    if (NamedAt(s_.loaded[i].first, f + 1)) continue;
    s_.loaded.erase(s_.loaded.begin() + static_cast<std::ptrdiff_t>(i));
    if (SequenceState::Kept* k = KeptOf(image)) {
      const std::size_t index = static_cast<std::size_t>(k - s_.kept.data());
      FreeImage(k->original);
      s_.kept.erase(s_.kept.begin() + static_cast<std::ptrdiff_t>(index));
      frameMarks_.erase(frameMarks_.begin() + static_cast<std::ptrdiff_t>(index));
    }
    if (ImageIndex(image) >= 0) {
      image->changed = 0;
      RemoveImage(image);
    }
  }
}

int Run::Frame(int f, bool writing) {
  const auto started = std::chrono::steady_clock::now();
  StartFrame();
  AnimState& anim = Anim();
  anim.timeline.cursor.frame = f;
  Pipeline().frame = f;
  bool areaApplied = false;
  for (int level = 0; level < levels_; ++level)
    if (Level(level, f, areaApplied) != 0) return 1;
  ImageRecord* image = ActionImage();
  std::string file;
  if (writing && r_.save) {
    if (!image) {
      ShowMessage(kMessageNoImage);
      return 1;
    }
    file = NameOf(f);
    int saved = 0;
    if (r_.type == kSeqTypeFlc) saved = AppendFlicFrame(image, file, f, f + 1 == FrameCount());
    else if (r_.type == kSeqTypeAvi) saved = AddAviFrame(image, file, DepthBits(r_.depthEntry, image) == 8 ? 8 : 24);
    else saved = SaveFrame(image, file, r_.type, r_.depthEntry, r_.compress, r_.quality);
    if (saved != 0) return 1;
  }
  if (writing && r_.film && image && PlaceOnFilm(*image, f) != 0) return 1;
  if (writing && r_.frameDone) {
    const long ms = static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count());
    r_.frameDone(f + 1, file, ms);
  }
  EndFrame(f);
  return 0;
}

void Run::Finish() {
  ImageStore& images = Images();
  for (ImageRecord* image : frameImages_)
    if (ImageIndex(image) >= 0) {
      image->changed = 0;
      RemoveImage(image);
    }
  frameImages_.clear();
  for (SequenceState::Kept& k : s_.kept) FreeImage(k.original);
  s_.kept.clear();
  s_.levelResults.clear();
  EndSequence();
  Area().selection.mode = static_cast<std::int16_t>(scope_.areaMode);
  Area().splatter = scope_.splatter;
  Area().splat = scope_.splat;
  Anim().timeline.cursor.frame = scope_.cursorFrame;
  OpsState& ops = Ops();
  if (ops.current != scope_.op) {
    const OpId was = ops.current;
    ops.current = scope_.op;
    if (ops.hooks.markOperation) ops.hooks.markOperation(was, scope_.op);
    if (ops.hooks.refreshSettings) ops.hooks.refreshSettings();
  }
  ops.workMethod = scope_.workMethod;
  if (UndoStack().levels != scope_.undoLevels) SetUndoLevels(UndoStack().levels, scope_.undoLevels);
  if (ImageRecord* shown = ActionImage(); shown && s_.showAction) s_.showAction(shown);
  // The images the run worked on stay current for the user to look at.
  (void)images;
  ApplyState& p = Pipeline();
  p.generating = false;
  p.frame = p.level = 0;
  s_.running = false;
  if (Prefs().showChron) ChronographEnd(scope_.chronStart, kSequenceTitle);
}

int Run::Go() {
  if (Pipeline().busy) {
    ShowMessage(kMessageBusy);
    return 1;
  }
  if (s_.running) {
    ShowMessage(kMessageRunning);
    return 1;
  }
  const int frames = FrameCount();
  if (r_.begin < 1 || r_.begin > r_.finish) {
    ShowMessage(kMessageBeforeStart);
    return 1;
  }
  if (r_.finish > frames) {
    ShowMessage(kMessagePastTotal);
    return 1;
  }
  ImageStore& images = Images();
  scope_.areaMode = Area().selection.mode;
  scope_.cursorFrame = Anim().timeline.cursor.frame;
  scope_.op = Ops().current;
  scope_.undoLevels = UndoStack().levels;
  scope_.workMethod = Ops().workMethod;
  scope_.splatter = Area().splatter;
  scope_.splat = Area().splat;
  scope_.current = r_.image ? r_.image : images.current;
  scope_.currentAction = r_.image ? r_.image : images.currentAction;
  scope_.source = Pipeline().source;
  if (Prefs().showChron) scope_.chronStart = ChronographBegin(kSequenceTitle);
  if (r_.hideOpControls && Ops().hooks.closeSettings) Ops().hooks.closeSettings();

  auto endEarly = [&](int code) {
    if (Prefs().showChron) ChronographEnd(scope_.chronStart, kSequenceTitle);
    return code;
  };
  levels_ = LevelsInUse();
  if (levels_ == 0 && AskProceed(kMessageNoLevels) == 0) return endEarly(2);
  if (r_.save) {
    // Every name first: a refused name writes nothing, and an existing file
    // is asked about once, before anything is replaced.
    if (const int checked = CheckRequestOutputNames(r_); checked != 0) return endEarly(checked);
  }

  if (r_.film && EnsureFilm() != 0) return endEarly(1);
  // The unsaved marks stay the images' own: generation keeps its copies
  // apart instead of clearing the marks.
  for (int i = 0; i < ImageCount(); ++i) DropImageLayers(ImageAt(i));
  s_.running = true;
  s_.kept.clear();
  s_.loaded.clear();
  s_.levelResults.assign(static_cast<std::size_t>(std::max(levels_, 1)), nullptr);
  Ops().workMethod = kDrawFirst;  // no selection: the whole image
  folder_ = std::filesystem::path(Anim().timeline.title).parent_path();
  view_ = std::max(0, ActionViewIndex());
  ApplyState& p = Pipeline();
  p.generating = true;
  BeginSequence(kSequenceTitle, r_.finish - r_.begin + 1);

  const int result = RunRequestFrames(r_, [this](int f, bool writing) { return Frame(f, writing); });
  Finish();
  return result;
}

}  // namespace

SequenceState& Sequence() { return Anim().sequence; }

GenerateRequest RequestFromSettings() {
  const Settings& s = Prefs();
  const TimeLineState& t = Anim().timeline;
  GenerateRequest r;
  r.begin = t.firstFrame;
  r.finish = t.lastFrame;
  r.save = s.saveResult != 0;
  r.outPath = (std::filesystem::path(s.outPath) / s.outName).string();
  if (s.outPath.empty()) r.outPath = s.outName;
  r.extension = s.outExtn;
  r.counter = Sequence().settings.counter;
  r.type = s.seq.type;
  r.depthEntry = PreselectedDepth(s.seq.type, s.seq.depth);
  r.compress = s.seq.compress;
  r.quality = s.seq.quality;
  r.accumulate = s.accumulate != 0;
  r.hideOpControls = s.hideOp != 0;
  r.film = Film().windowOpen;
  return r;
}

std::string RequestOutputName(const GenerateRequest& request, int frame) {
  if (request.exact) return request.outPath;
  return OutputFileName(request.outPath, request.extension, frame, request.counter, request.type,
                        Sequence().settings.longNames);
}

int CheckRequestOutputNames(const GenerateRequest& request) {
  const int count = request.exact ? 1 : request.finish - request.begin + 1;
  std::string existing;
  for (int i = 0; i < count; ++i) {
    const std::string name = RequestOutputName(request, request.exact ? 0 : request.begin - 1 + i);
    if (name.empty()) {
      ShowNote("A sequence output name cannot hold \"*\".", request.outPath);
      return 1;
    }
    std::error_code ec;
    if (existing.empty() && std::filesystem::exists(name, ec)) existing = name;
    // A film file is one name whatever the frame.
    if (request.type == kSeqTypeFlc || request.type == kSeqTypeAvi || request.type == kSeqTypeFs) break;
  }
  if (!existing.empty() && !request.replace && AskReplace(kMessageOutputExists, existing) == 0) return 2;
  return 0;
}

int RunRequestFrames(const GenerateRequest& request, const std::function<int(int, bool)>& frame) {
  const GenerateRequest& r = request;
  const int first = r.accumulate && r.replayFromStart ? 0 : r.begin - 1;
  if (r.save && r.type == kSeqTypeAvi) ArmAvi(RequestOutputName(r, 0));
  int result = 0;
  for (int f = first; f <= r.finish - 1; ++f) {
    if (frame(f, f >= r.begin - 1) != 0) {
      result = 1;
      break;
    }
    if (r.stopAfterFrame && r.stopAfterFrame() && f < r.finish - 1) {
      result = 1;
      break;
    }
  }
  if (r.save && r.type == kSeqTypeAvi && CloseAvi() != 0) result = 1;
  if (r.save && r.type == kSeqTypeFlc) EndFlicRun();
  return result;
}

int Generate(const GenerateRequest& request) {
  Run run(request);
  return run.Go();
}

int GenerateCommand() {
  if (Sequence().running || IsSequenceRunning()) {
    ShowMessage(kMessageRunning);
    return 1;
  }
  if (CreateGrid() != 0) return 1;
  return Generate(RequestFromSettings());
}

void FreeSequenceState() {
  SequenceState& s = Sequence();
  for (SequenceState::Kept& k : s.kept) FreeImage(k.original);
  s.kept.clear();
  s.levelResults.clear();
  s.loaded.clear();
}

}  // namespace qv
