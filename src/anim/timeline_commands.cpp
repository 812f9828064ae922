// Loading, saving and erasing the TimeLine as the user asks for it: the
// file dialogs and the question about changes not yet saved.
#include <filesystem>

#include "anim/anim_state.h"
#include "anim/timeline_file.h"
#include "base/host.h"
#include "base/messages.h"
#include "formats/formats_state.h"

namespace qv {
namespace {

constexpr int kMessageTimeLineChanged = 85;

// Where the dialogs open: beside the TimeLine's file, else the projects folder.
std::string DialogFolder() {
  const std::string& title = Anim().timeline.title;
  if (!title.empty()) return std::filesystem::path(title).parent_path().string();
  return FileLoads().projPath;
}

std::string ChooseTimeLineToSave() {
  return TheHost().ChooseSaveFile({"Save TimeLine", "*.tml", DialogFolder(), false});
}

}  // namespace

int AskToSaveTimeLine() {
  const TimeLineState& t = Anim().timeline;
  if (!t.modified || !t.created) return 0;
  switch (AskSave(kMessageTimeLineChanged)) {
    case 1: {
      const std::string file = t.title.empty() ? ChooseTimeLineToSave() : t.title;
      return !file.empty() && SaveTimeLine(file) == 0 ? 0 : 2;
    }
    case 2: return 0;
    default: return 2;
  }
}

int LoadTimeLineCommand() {
  if (AskToSaveTimeLine() != 0) return 2;
  auto files = TheHost().ChooseFiles({"Load TimeLine", "*.tml", DialogFolder(), false});
  if (files.empty()) return 2;
  return LoadTimeLine(files.front()) == 0 ? 0 : 1;
}

int SaveTimeLineCommand() {
  const std::string file = ChooseTimeLineToSave();
  if (file.empty()) return 2;
  return SaveTimeLine(file) == 0 ? 0 : 1;
}

int EraseTimeLineCommand() {
  if (AskToSaveTimeLine() != 0) return 2;
  EraseTimeLine();
  return 0;
}

}  // namespace qv
