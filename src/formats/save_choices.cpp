#include "formats/save_choices.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "base/messages.h"
#include "base/preferences.h"
#include "base/string_table.h"
#include "formats/bmp.h"
#include "formats/formats_state.h"
#include "formats/loader_api.h"
#include "formats/loader_library.h"
#include "formats/still_writers.h"
#include "store/image_record.h"

namespace qv {
namespace {

enum class Box { OnFixed, UserChoice, OnChangeable, UserFixed, Tiff };

struct TypeInfo {
  std::string_view name;
  std::string_view extension;
  unsigned depths;  // bit n: depth entry n offered
  Box box;
};

constexpr unsigned Bit(int entry) { return 1u << entry; }

constexpr std::array<TypeInfo, kSaveTypeCount> kTypes = {{
    // The bitmap writer keeps alpha at 32 bits, so Bitmap offers it too.
    {"Bitmap", "bmp", Bit(kDepthAlpha) | Bit(kDepth24) | Bit(kDepth16) | Bit(kDepth8) | Bit(kDepth4) | Bit(kDepth1),
     Box::UserChoice},
    {"Flick", "flc", Bit(kDepth8), Box::OnFixed},
    {"GIF", "gif", Bit(kDepth8), Box::OnFixed},
    {"IFF/ILBM", "iff", Bit(kDepth24), Box::OnChangeable},
    {"JFIF/JPEG", "jpg", Bit(kDepthLossy), Box::OnFixed},
    {"PCX", "pcx", Bit(kDepth24) | Bit(kDepth8) | Bit(kDepth4) | Bit(kDepth1), Box::OnChangeable},
    {"Targa", "tga", Bit(kDepthAlpha), Box::UserFixed},
    {"TIFF", "tif", Bit(kDepthAlpha) | Bit(kDepth24), Box::Tiff},
    {"TRIM", "trm", Bit(kDepth24), Box::OnFixed},
    {"AVI", "avi", Bit(kDepth24) | Bit(kDepth8), Box::OnFixed},
    {"Toaster FS", "fs", Bit(kDepth16), Box::UserChoice},
    {"PNG", "png", Bit(kDepthAlpha) | Bit(kDepth24), Box::UserChoice},
}};

constexpr int kFirstDepthString = 21113;

bool ValidType(int type) { return type >= 0 && type < kSaveTypeCount; }

}  // namespace

std::string_view SaveTypeName(int type) { return ValidType(type) ? kTypes[type].name : std::string_view{}; }
std::string_view SaveTypeExtension(int type) { return ValidType(type) ? kTypes[type].extension : std::string_view{}; }
std::string_view DepthEntryName(int entry) {
  return entry >= 0 && entry < kDepthEntryCount ? LoadString(kFirstDepthString + entry) : std::string_view{};
}

std::vector<int> OfferedSaveTypes(int chopMem) {
  std::vector<int> types;
  for (int t = 0; t < kSaveTypeCount; ++t)
    if (t != kSaveGif || chopMem) types.push_back(t);
  return types;
}

int FullSaveType(int offeredIndex, int chopMem) {
  auto types = OfferedSaveTypes(chopMem);
  return offeredIndex >= 0 && offeredIndex < static_cast<int>(types.size()) ? types[offeredIndex] : -1;
}

std::vector<int> OfferedDepths(int type) {
  std::vector<int> entries;
  if (!ValidType(type)) return entries;
  for (int e = 0; e < kDepthEntryCount; ++e)
    if (kTypes[type].depths & Bit(e)) entries.push_back(e);
  return entries;
}

int PreselectedDepth(int type, int saveDepth) {
  auto entries = OfferedDepths(type);
  if (entries.empty()) return -1;
  int chosen = entries.front();
  // No entry at all (the stored default 24 is a bit count, not an entry):
  // the type's fullest depth, not its poorest.
  if (saveDepth < 0 || saveDepth >= kDepthEntryCount) return chosen;
  for (int e : entries)
    if (e <= saveDepth) chosen = e;
  return chosen;
}

CompressionBox CompressionFor(int type, const SaveChoices& choices) {
  if (!ValidType(type)) return {};
  bool user = choices.compress != 0;
  switch (kTypes[type].box) {
    case Box::OnFixed: return {true, false};
    case Box::OnChangeable: return {true, true};
    case Box::UserChoice: return {user, true};
    case Box::UserFixed: return {user, false};
    case Box::Tiff: return choices.chopMem ? CompressionBox{user, true} : CompressionBox{false, false};
  }
  return {};
}

bool QualityEnabled(int type) { return type == kSaveJpeg; }

std::string SaveOutputName(const std::string& typed, int type) {
  std::string name = typed;
  if (name.find('.') == std::string::npos) return name + ".bmp";
  if (name.size() >= 4 && name[name.size() - 4] == '.' && ValidType(type))
    name = name.substr(0, name.size() - 3) + std::string(kTypes[type].extension);
  return name;
}

int DepthBits(int entry, const ImageRecord* image) {
  switch (entry) {
    case kDepthAlpha: return image && image->hasAlpha ? 32 : 24;
    case kDepthCmyk: return 32;
    case kDepth24:
    case kDepthLossy: return 24;
    case kDepth16: return 16;
    case kDepth8: return 8;
    case kDepth4: return 4;
    case kDepth1: return 1;
  }
  return 24;
}

int SaveTypeOfPath(const std::string& path) {
  auto dot = path.rfind('.');
  if (dot == std::string::npos) return -1;
  std::string ext = path.substr(dot + 1);
  for (auto& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == "jpeg") return kSaveJpeg;
  if (ext == "tiff") return kSaveTiff;
  for (int t = 0; t < kSaveTypeCount; ++t)
    if (ext == kTypes[t].extension) return t;
  return -1;
}

int SaveImageFile(ImageRecord* image, const std::string& path, int type, int depthEntry, int compress, int quality) {
  if (!image || !ValidType(type)) return 1;
  switch (type) {
    case kSaveBitmap:
      return WriteBmp(image, path, DepthBits(depthEntry, image));
    case kSaveJpeg:
      return SaveThroughLibrary(kJpegLibrary, path, image, std::clamp(quality, 0, 100));
    case kSaveTiff: {
      int option = 0;
      if (compress && SavePrefs().chopMem) option |= kTiffOptionCompress;
      if (depthEntry == kDepthAlpha && image->hasAlpha) option |= kTiffOptionAlpha;
      return SaveThroughLibrary(kTiffLibrary, path, image, option);
    }
    case kSaveFlick:
    case kSaveAvi: {
      const auto& hooks = FileLoads().animationFiles;
      const auto& save = type == kSaveFlick ? hooks.saveFlic : hooks.saveAvi;
      if (!save) return 1;
      return save(image, path, type == kSaveFlick ? 8 : DepthBits(depthEntry, image) == 8 ? 8 : 24);
    }
    default:
      return WriteStillImage(image, path, type, depthEntry, compress);
  }
}

}  // namespace qv
