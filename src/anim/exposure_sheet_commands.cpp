// The exposure sheet window's commands that are not pure interaction: the
// file dialogs, the question about changes, the refusals while busy.
#include <filesystem>

#include "anim/anim_state.h"
#include "anim/exposure_sheet.h"
#include "anim/timeline_file.h"
#include "base/host.h"
#include "base/messages.h"
#include "base/progress.h"
#include "formats/formats_state.h"
#include "ops/apply.h"

namespace qv {
namespace {

constexpr int kMessageChanged = 85;
constexpr int kMessageBusy = 86;
constexpr int kMessageRunning = 78;

std::string DialogFolder() {
  const std::string& title = Sheet().title;
  if (!title.empty()) return std::filesystem::path(title).parent_path().string();
  return FileLoads().projPath;
}

// Reading replaces or adds to the cells a run or an apply is using.
int RefuseWhileBusy() {
  if (Pipeline().busy) {
    ShowMessage(kMessageBusy);
    return 1;
  }
  if (Sequence().running || Sheet().performing || IsSequenceRunning()) {
    ShowMessage(kMessageRunning);
    return 1;
  }
  return 0;
}

int SaveTo(const char* title, const SheetBlock* block) {
  const std::string file = TheHost().ChooseSaveFile({title, "*.tml", DialogFolder(), false});
  if (file.empty()) return 2;
  return SaveSheet(file, block) == 0 ? 0 : 1;
}

int Read(const char* title, bool merge) {
  if (RefuseWhileBusy() != 0) return 1;
  if (!merge && AskToSaveSheet() != 0) return 2;
  auto files = TheHost().ChooseFiles({title, "*.tml", DialogFolder(), false});
  if (files.empty()) return 2;
  return LoadSheet(files.front(), merge) == 0 ? 0 : 1;
}

}  // namespace

int AskToSaveSheet() {
  const SheetState& s = Sheet();
  if (!s.modified) return 0;
  switch (AskSave(kMessageChanged)) {
    case 1: {
      if (!s.title.empty()) return SaveSheet(s.title) == 0 ? 0 : 2;
      return SaveTo("Save Sheet", nullptr) == 0 ? 0 : 2;
    }
    case 2: return 0;
    default: return 2;
  }
}

int SheetCommand(int id) {
  SheetState& s = Sheet();
  switch (id) {
    case 6422: return Read("Load Sheet", false);
    case 6424: return SaveTo("Save Sheet", nullptr);
    case 6426: return CutSheetCells();
    case 6428: return CopySheetCells();
    case 6430: return PasteSheetCells();
    case 6432:
      ClearSheetCells();
      return 0;
    case 6436: {
      if (RefuseWhileBusy() != 0) return 1;
      GenerateRequest r = RequestFromSettings();
      return RunSheet(r);
    }
    case 6437:
      HelpOn("Exposure Sheet");
      return 0;
    case 6439: return Read("Merge Sheet", true);
    case 6440: return SaveTo("Save Sheet Section", &s.selection);
    case 6443:
    case 6444: {
      PerformRequest r;
      r.block = s.selection;
      r.save = id == 6443;
      r.film = Film().windowOpen;
      return PerformSheet(r);
    }
    default: return -1;  // the window's own: Import, Close, placement, sizing, controls
  }
}

}  // namespace qv
