// Where generated frames go: the extension rule, the numbered names, the
// safe save of one frame, and the range the "Sequence Controls" dialog sets.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include <unistd.h>

#include "anim/anim_state.h"
#include "anim/sequence.h"
#include "base/messages.h"
#include "formats/save_choices.h"

namespace qv {
namespace {

constexpr int kMessageTooFewFrames = 32;
constexpr int kMessagePastTotal = 30;
constexpr int kMessageBeforeStart = 46;

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

std::optional<TypeAndDepth> ExtensionChoice(std::string_view extension) {
  if (!extension.empty() && extension.front() == '.') extension.remove_prefix(1);
  const std::string e = Lower(extension.substr(0, 3));
  struct Entry {
    const char* ext;
    int type;
    int depth;
  };
  static constexpr Entry kEntries[] = {
      {"bmp", kSaveBitmap, kDepth24}, {"flc", kSaveFlick, kDepth8},   {"gif", kSaveGif, kDepth8},
      {"iff", kSaveIff, kDepth24},    {"jpg", kSaveJpeg, kDepthLossy}, {"pcx", kSavePcx, kDepth8},
      {"tga", kSaveTarga, kDepthAlpha}, {"tif", kSaveTiff, kDepth24}, {"trm", kSaveTrim, kDepth24},
      {"avi", kSaveAvi, kDepth24},
  };
  for (const Entry& entry : kEntries)
    if (e == entry.ext) return TypeAndDepth{entry.type, entry.depth};
  return std::nullopt;
}

std::string DottedExtension(std::string_view extension) {
  if (extension.empty() || extension.front() == '.') return std::string(extension);
  std::string dotted(1, '.');
  dotted.append(extension);
  return dotted;
}

void SplitOutputPath(std::string_view path, std::string& pathAndName, std::string& extension) {
  const std::filesystem::path p{std::string(path)};
  const std::string ext = p.extension().string();
  extension = ext.empty() ? std::string{} : ext.substr(1);
  pathAndName = std::string(path.substr(0, path.size() - ext.size()));
}

std::string OutputFileName(std::string_view pathAndName, std::string_view extension, long index, long counter,
                           int type, bool longNames) {
  if (pathAndName.find('*') != std::string_view::npos || extension.find('*') != std::string_view::npos) return {};
  if (type == kSeqTypeFlc || type == kSeqTypeAvi || type == kSeqTypeFs) {
    // One file takes every frame, or the type numbers its own files.
    return std::string(pathAndName) + DottedExtension(extension);
  }
  const std::filesystem::path p{std::string(pathAndName)};
  std::string name = p.filename().string();
  // A name typed with an extension loses it: the number goes before the
  // sequence's own extension.
  if (const auto dot = name.rfind('.'); dot != std::string::npos && dot > 0) name.resize(dot);
  if (!longNames && name.size() > 4) name.resize(4);
  char number[32];
  std::snprintf(number, sizeof number, "%04ld", counter + index);
  std::string file = name + number;
  // An empty extension gives a name without a trailing dot.
  if (!extension.empty()) file += DottedExtension(extension);
  const std::filesystem::path dir = p.parent_path();
  return dir.empty() ? file : (dir / file).string();
}

int SaveFrame(ImageRecord* image, const std::string& path, int type, int depthEntry, int compress, int quality) {
  namespace fs = std::filesystem;
  const fs::path target(path);
  // The temporary file keeps the name's extension last, for writers that
  // look at it, and the process id, so that farm jobs sharing a folder
  // never write into each other's file.
  const fs::path temp = target.parent_path() /
                        (".partial-" + std::to_string(static_cast<long>(getpid())) + "-" + target.filename().string());
  std::error_code ec;
  const int written = SaveImageFile(image, temp.string(), type, depthEntry, compress, quality);
  if (written != 0) {
    fs::remove(temp, ec);
    return 1;
  }
  fs::rename(temp, target, ec);
  if (ec) {
    fs::remove(temp, ec);
    ShowMessageFile(26, path);
    return 1;
  }
  return 0;
}

long FramesPerSecond(long millis) { return 1000 / std::max(1L, millis); }
long JiffiesPerFrame(long millis) { return std::max(1L, millis) * 70 / 1000; }

int TakeSequenceRange(SequenceRange& r) {
  if (r.total < 2) {
    ShowMessage(kMessageTooFewFrames);
    return kMessageTooFewFrames;
  }
  r.total = std::min(r.total, kMaxFrames);
  // The current frame is corrected and the dialog stays for another look.
  if (r.current > r.total) {
    r.current = r.total;
    ShowMessage(kMessagePastTotal);
    return kMessagePastTotal;
  }
  if (r.current < 1) {
    r.current = 1;
    ShowMessage(kMessageBeforeStart);
    return kMessageBeforeStart;
  }
  TimeLineState& t = Anim().timeline;
  if (r.total != t.frames) {
    if (ChangeFrameCount(r.total) != 0) return 1;
    r.begin = 1;
    r.finish = r.total;
  } else {
    // A range that ends past the total or begins after it ends would make
    // no frame; it is refused like a current frame out of place.
    if (r.finish > r.total) {
      r.finish = r.total;
      ShowMessage(kMessagePastTotal);
      return kMessagePastTotal;
    }
    if (r.begin < 1 || r.begin > r.finish) {
      r.begin = std::clamp(r.begin, 1, r.finish);
      ShowMessage(kMessageBeforeStart);
      return kMessageBeforeStart;
    }
  }
  t.firstFrame = r.begin;
  t.lastFrame = r.finish;
  t.cursor.frame = r.current - 1;
  if (Anim().redrawTimeLine) Anim().redrawTimeLine();
  return 0;
}

}  // namespace qv
