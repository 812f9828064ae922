#include "app/frame.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <system_error>

#include "anim/anim_state.h"
#include "anim/project.h"
#include "anim/sequence.h"
#include "anim/timeline_file.h"
#include "app/program.h"
#include "app/settings.h"
#include "area/area_files.h"
#include "area/area_mask.h"
#include "base/messages.h"
#include "base/progress.h"
#include "base/string_table.h"
#include "extlib/palette_library.h"
#include "formats/image_files.h"
#include "formats/save_choices.h"
#include "ops/op_state.h"
#include "store/image_record.h"
#include "store/memory_places.h"
#include "store/undo.h"

namespace qv {
namespace {

constexpr std::size_t kSniffBytes = 20;

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// "/e:TIMELINE,FRAME,OUT": one frame of a TimeLine written under exactly
// that name, its type from its extension (24-bit BMP without one). 0 written.
int RunBatchFrame(std::string_view args) {
  std::vector<std::string> parts;
  for (std::size_t start = 0; parts.size() < 3;) {
    const std::size_t comma = parts.size() == 2 ? std::string_view::npos : args.find(',', start);
    parts.emplace_back(args.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  if (parts.empty() || parts[0].empty()) return 1;
  if (LoadTimeLine(parts[0]) != 0) return 1;
  if (parts.size() < 3 || parts[2].empty()) {
    // A TimeLine without a frame and a name is only loaded, for a look.
    return 0;
  }
  long frame = 1;
  if (std::sscanf(parts[1].c_str(), "%ld", &frame) != 1) frame = 1;
  frame = std::clamp<long>(frame, 1, FrameCount());
  GenerateRequest request;
  request.begin = request.finish = static_cast<int>(frame);
  request.save = true;
  request.exact = true;
  request.outPath = parts[2];
  std::string pathAndName, extension;
  SplitOutputPath(parts[2], pathAndName, extension);
  const auto chosen = ExtensionChoice(extension);
  request.type = chosen ? chosen->type : kSaveBitmap;
  request.depthEntry = chosen ? chosen->depthEntry : kDepth24;
  if (const ImageRecord* current = Images().current) {
    request.compress = current->saveOption;
    request.quality = current->saveQuality ? current->saveQuality : 75;
  }
  request.replace = true;  // a batch frame is written as named, like a save
  request.accumulate = Prefs().accumulate != 0;
  request.replayFromStart = true;
  return Generate(request) == 0 ? 0 : 1;
}

// "/name:first,second,third".
void RunCommandWord(const std::string& word) {
  std::string_view rest = std::string_view(word).substr(1);
  auto colon = rest.find(':');
  std::string name = Lower(rest.substr(0, colon));
  std::string_view args = colon == std::string_view::npos ? std::string_view{} : rest.substr(colon + 1);
  if (!name.empty() && name.front() == 'e') {
    LogLine("Batch command: \"%s\"\n", word.c_str());
    Frame().batchResult = RunBatchFrame(args);
    return;
  }
  if (name == "close") ShutDown();
  // Other commands (such as "/icon", seen before start-up) do nothing here.
}

// A command is a slash and a name. Absolute file names begin with a slash
// too on this platform: a word naming something that exists is a file, and
// so is one whose name has another slash or a dot ("/x.bmp") before its
// colon, which no command name has.
bool IsCommandWord(const std::string& word) {
  if (word.empty() || word.front() != '/') return false;
  std::error_code ec;
  if (std::filesystem::exists(word, ec)) return false;
  std::string_view head = std::string_view(word).substr(1);
  head = head.substr(0, head.find(':'));
  return head.find_first_of("/.") == std::string_view::npos;
}

}  // namespace

bool IsIconWord(const std::string& word) { return Lower(word.substr(0, 5)) == "/icon"; }

bool IsHeadlessBatch(const std::vector<std::string>& words) {
  bool batch = false, close = false;
  const std::size_t count = std::min<std::size_t>(words.size(), kMaxCommandLineWords);
  for (std::size_t i = 0; i < count && !words[i].empty(); ++i) {
    if (!IsCommandWord(words[i])) continue;
    const std::string name = Lower(std::string_view(words[i]).substr(1, words[i].find(':') - 1));
    batch = batch || (!name.empty() && name.front() == 'e');
    close = close || name == "close";
  }
  return batch && close;
}

int StartUp() {
  FrameState& f = Frame();
  std::error_code ec;
  f.installDir = std::filesystem::current_path(ec);
  if (ec) f.installDir = "/pixanta";
  if (InitImageTable() != 0) return 0;
  InitStandardPalettes();
  InitIShape();
  InstallTrendHooks();
  LoadSettings();
  if (TheProgram().settings.keepLog) OpenLog(false);
  f.started = true;
  return 1;
}

void ProcessCommandLine(const std::vector<std::string>& words) {
  std::size_t count = std::min<std::size_t>(words.size(), kMaxCommandLineWords);
  for (std::size_t i = 0; i < count; ++i) {
    if (words[i].empty() || Frame().exiting) break;
    if (IsCommandWord(words[i]))
      RunCommandWord(words[i]);
    else
      OpenFile(words[i]);
  }
}

int OpenFile(const std::string& path) {
  char head[kSniffBytes] = {};
  std::size_t got = 0;
  {
    std::ifstream in(path, std::ios::binary);
    std::error_code ec;
    if (!in || std::filesystem::is_directory(path, ec)) {
      ShowMessageFile(71, path);
      return 1;
    }
    in.read(head, sizeof head);
    got = static_cast<std::size_t>(in.gcount());
  }
  auto startsWith = [&](const char* magic) {
    std::size_t n = std::strlen(magic);
    return got >= n && std::memcmp(head, magic, n) == 0;
  };
  int result = 1;
  std::string opened = path;
  if (startsWith("ZFLM")) {
    result = LoadFilmStrip(path) == 0 ? 0 : 1;
  } else if (startsWith("QVPROJ")) {
    result = LoadProject(path) == 0 ? 0 : 1;
  } else {
    result = LoadImageIntoTable(opened);
  }
  if (result == 0) {
    // The list must still find the file when the program starts elsewhere.
    std::error_code ec;
    std::filesystem::path full = std::filesystem::absolute(opened, ec);
    RememberRecentFile(ec ? opened : full.lexically_normal().string());
  }
  return result;
}

int ShutDown() {
  Program& p = TheProgram();
  // Everything below frees what running work still holds.
  if (RefuseCloseWhileBusy()) return 1;
  p.frame.exiting = true;
  if (AskToSaveTimeLine() != 0) {
    p.frame.exiting = false;
    return 1;
  }
  if (AskToSaveSheet() != 0) {
    p.frame.exiting = false;
    return 1;
  }
  for (int i = ImageCount() - 1; i >= 0; --i) {
    if (RemoveImage(ImageAt(i)) != 0) {
      p.frame.exiting = false;
      return 1;
    }
  }
  CancelPendingCapture();
  ClosePal();
  SaveSettings();
  FreeSequenceState();
  MemoryCloseReport();
  FreeUndoStack();
  FreeProfiles();
  FreeTimeLineState();
  FreeSheetState();
  FreeFilm();
  FreeTrendState();
  FreeAreaState();
  FreeAllPlaces();
  // The renderer's and the quantizer's buffers went with the places.
  DisplayState& d = p.display;
  d.xmap = d.ymap = nullptr;
  d.rdith = d.gdith = d.bdith = nullptr;
  d.xmapCapacity = d.ymapCapacity = d.dithCapacity = 0;
  ColourReduceState& r = p.reduce;
  r.rads = r.regs = r.lrad = nullptr;
  r.tree = nullptr;
  r.prepared = false;
  p.area.mask.place = nullptr;
  p.area.mask.address = nullptr;
  p.images.table = nullptr;
  p.images.count = 0;
  p.images.capacity = 0;
  p.images.current = nullptr;
  p.images.currentAction = nullptr;
  CloseLog();
  p.frame.quitRequested = true;
  return 0;
}

}  // namespace qv
