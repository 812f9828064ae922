#include "formats/still_writers.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "base/messages.h"
#include "base/preferences.h"
#include "formats/gif.h"
#include "formats/iff.h"
#include "formats/image_files.h"
#include "formats/loader_api.h"
#include "formats/loader_library.h"
#include "formats/pcx.h"
#include "formats/save_choices.h"
#include "formats/targa.h"
#include "store/image_record.h"

namespace qv {
namespace {

constexpr int kMessageLzw = 101;
constexpr const char* kToasterFormat = "Toaster FS";

void SetFormat(ImageRecord* image, std::string_view format) {
  std::snprintf(image->format, sizeof image->format, "%.*s", static_cast<int>(format.size()), format.data());
}

}  // namespace

int WriteStillImage(ImageRecord* image, const std::string& path, int type, int depthEntry, int compress) {
  if (!image) return 1;
  switch (type) {
    case kSaveGif:
      // The desktop program writes LZW only while ChopMem allows it.
      if (!SavePrefs().chopMem) {
        ShowMessageFile(kMessageLzw, path);
        return 1;
      }
      return WriteGif(image, path);
    case kSavePcx: return WritePcx(image, path, DepthBits(depthEntry, image));
    case kSaveTarga: return WriteTarga(image, path, compress != 0);
    case kSavePng: {
      int option = compress ? kTiffOptionCompress : 0;
      if (depthEntry == kDepthAlpha && image->hasAlpha) option |= kTiffOptionAlpha;
      return SaveThroughLibrary(kPngLibrary, path, image, option);
    }
    case kSaveIff: return WriteIlbm(image, path, false, compress != 0);  // 24 planes
    case kSaveTrim: return WriteIlbm(image, path, true, true);
    case kSaveToasterFs: return WriteToasterFs(image, path, compress != 0);
    default:
      ShowNote(std::string(SaveTypeName(type)) + " files cannot be written by this version yet.", path);
      return 1;
  }
}

int SaveTypeOfImage(const ImageRecord* image) {
  if (!image) return -1;
  switch (image->fileType) {
    case kFilePng: return kSavePng;
    case kFileIff:
      return std::strncmp(image->format, kToasterFormat, sizeof image->format) == 0 ? kSaveToasterFs : kSaveIff;
    default: return image->fileType <= kFileAvi ? image->fileType : -1;
  }
}

void RecordSavedType(ImageRecord* image, int type) {
  switch (type) {
    case kSavePng:
      image->fileType = kFilePng;
      SetFormat(image, FileTypeFormat(kFilePng));
      break;
    case kSaveToasterFs:
      image->fileType = kFileIff;
      SetFormat(image, kToasterFormat);
      break;
    default:
      // The other save types share their number with their file type.
      if (type < 0 || type > kFileAvi) return;
      image->fileType = static_cast<std::uint16_t>(type);
      SetFormat(image, FileTypeFormat(type));
      break;
  }
}

}  // namespace qv
