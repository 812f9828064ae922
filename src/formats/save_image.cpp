#include "formats/save_image.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include "base/host.h"
#include "base/messages.h"
#include "base/preferences.h"
#include "formats/image_files.h"
#include "formats/save_choices.h"
#include "formats/still_writers.h"
#include "store/image_record.h"

namespace qv {
namespace {

constexpr int kSaveAsCommand = 111;
constexpr int kMessageNoImage = 11;

// The name proposed in the dialog: the image's own, with the chosen type's
// extension where it has one of three letters.
std::string ProposedName(const ImageRecord* image, int type) {
  std::string name = std::filesystem::path(image->path[0] ? image->path : image->name).filename().string();
  if (name.empty()) name = image->name;
  return SaveOutputName(name, type);
}

void Remember(ImageRecord* image, const std::string& path, int type, int compress, int quality) {
  std::snprintf(image->path, sizeof image->path, "%s", path.c_str());
  std::string name = std::filesystem::path(path).filename().string();
  std::snprintf(image->name, sizeof image->name, "%s", name.c_str());
  RecordSavedType(image, type);
  image->saveOption = static_cast<std::uint16_t>(compress);
  image->saveQuality = static_cast<std::uint16_t>(quality);
  image->changed = 0;
}

}  // namespace

int OwnDepthEntry(const ImageRecord* image, int type) {
  int entry = kDepth24;
  if (image->hasAlpha || image->bitDepth == 32) {
    entry = kDepthAlpha;
  } else {
    switch (image->bitDepth) {
      case 16: entry = kDepth16; break;
      case 8: entry = kDepth8; break;
      case 4: entry = kDepth4; break;
      case 1: entry = kDepth1; break;
      default: entry = kDepth24; break;
    }
  }
  auto offered = OfferedDepths(type);
  if (std::find(offered.begin(), offered.end(), entry) != offered.end()) return entry;
  // A 24-bit picture where only 24/32 is offered, or only lossy colour.
  if (entry == kDepth24 || entry == kDepthAlpha) {
    for (int e : {kDepth24, kDepthAlpha, kDepthLossy})
      if (std::find(offered.begin(), offered.end(), e) != offered.end()) return e;
  }
  return PreselectedDepth(type, entry);
}

int SaveImageAs(ImageRecord* image) {
  if (!image) return 1;
  SaveChoices& choices = SavePrefs();
  Settings& s = Prefs();
  SaveImageRequest request;
  request.title = "Save Image As";
  request.folder = s.savePath;
  request.type = std::clamp(choices.type, 0, kSaveTypeCount - 1);
  // GIF is offered only with ChopMem; without it Bitmap stands in.
  if (request.type == kSaveGif && !choices.chopMem) request.type = kSaveBitmap;
  request.name = ProposedName(image, request.type);
  request.depthEntry = choices.depth;
  request.compress = choices.compress;
  request.quality = std::clamp(choices.jpegQuality, 0, 100);
  request.chopMem = choices.chopMem;
  if (!TheHost().EditSaveChoices(request)) return 2;

  const int type = request.type;
  if (type < 0 || type >= kSaveTypeCount || request.name.empty()) return 1;
  auto offered = OfferedDepths(type);
  int entry = std::find(offered.begin(), offered.end(), request.depthEntry) != offered.end()
                  ? request.depthEntry
                  : PreselectedDepth(type, request.depthEntry);
  CompressionBox box = CompressionFor(type, SaveChoices{type, entry, request.compress, request.quality, choices.chopMem});
  const int compress = box.enabled ? (request.compress ? 1 : 0) : (box.checked ? 1 : 0);
  const int quality = std::clamp(request.quality, 0, 100);
  const std::string path = request.name;

  choices.type = type;
  choices.depth = entry;
  if (box.enabled) choices.compress = compress;
  if (QualityEnabled(type)) choices.jpegQuality = quality;
  std::filesystem::path where(path);
  s.savePath = where.parent_path().string();
  s.saveName = where.stem().string();
  s.saveExtn = where.has_extension() ? where.extension().string().substr(1) : std::string();

  if (SaveImageFile(image, path, type, entry, compress, quality) != 0) return 1;
  Remember(image, path, type, compress, quality);
  LogLine("Image saved as %s\n", path.c_str());
  return 0;
}

int SaveToOwnFile(ImageRecord* image) {
  if (!image) return 1;
  const int type = SaveTypeOfImage(image);
  // A frame of an animation file would replace the whole animation with
  // that one frame: it is saved under a name the user picks.
  if (!image->path[0] || type < 0 || type == kSaveFlick || type == kSaveAvi) return SaveImageAs(image);
  const std::string path = image->path;
  const int compress = image->saveOption ? 1 : 0;
  const int quality = std::clamp<int>(image->saveQuality, 0, 100);
  if (SaveImageFile(image, path, type, OwnDepthEntry(image, type), compress, quality) != 0) return 1;
  image->changed = 0;
  LogLine("Image saved to %s\n", path.c_str());
  return 0;
}

int SaveImageCommand(int id) {
  if (ImageCount() == 0) {
    ShowMessage(kMessageNoImage);
    return 1;
  }
  ImageRecord* image = nullptr;
  if (ImageCount() == 1) {
    image = ImageAt(0);
  } else if (id != kSaveAsCommand && Images().current && ImageIndex(Images().current) >= 0) {
    image = Images().current;
  } else {
    image = ImageAt(TheHost().ChooseImage("Select Image to Save"));
  }
  if (!image) return 2;
  return id == kSaveAsCommand ? SaveImageAs(image) : SaveToOwnFile(image);
}

}  // namespace qv
