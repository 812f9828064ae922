// The save choices: which file types, depths and compression the save
// dialog offers, the output name, and the writer each type runs.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qv {

struct ImageRecord;
struct SaveChoices;

enum SaveType : int {
  kSaveBitmap = 0, kSaveFlick, kSaveGif, kSaveIff, kSaveJpeg, kSavePcx, kSaveTarga, kSaveTiff, kSaveTrim, kSaveAvi,
  kSaveToasterFs, kSavePng,
};
inline constexpr int kSaveTypeCount = 12;

enum DepthEntry : int {
  kDepthAlpha = 0, kDepthCmyk, kDepth24, kDepthLossy, kDepth16, kDepth8, kDepth4, kDepth1,
};
inline constexpr int kDepthEntryCount = 8;

struct CompressionBox {
  bool checked = false;
  bool enabled = false;
};

std::string_view SaveTypeName(int type);       // "Bitmap", "Flick", ...
std::string_view SaveTypeExtension(int type);  // "bmp", ..., "fs"
std::string_view DepthEntryName(int entry);    // "24/32-bit with Alpha", ...

// The types offered, as full-list indexes: GIF only while ChopMem is set.
std::vector<int> OfferedSaveTypes(int chopMem);
// A position in the offered list as a full-list index (-1 when out of range).
int FullSaveType(int offeredIndex, int chopMem);
// The depth entries a type offers, in index order.
std::vector<int> OfferedDepths(int type);
// The last offered entry whose index is at most saveDepth (else the first,
// the fullest; so too for a saveDepth that is no entry index).
int PreselectedDepth(int type, int saveDepth);
CompressionBox CompressionFor(int type, const SaveChoices& choices);
bool QualityEnabled(int type);
// The name the dialog shows once the type is chosen.
std::string SaveOutputName(const std::string& typed, int type);
// Bits per pixel of a depth entry for an image (24/32 by its alpha flag).
int DepthBits(int entry, const ImageRecord* image);
// The type whose extension the path ends in (any case), or -1.
int SaveTypeOfPath(const std::string& path);

// Writes the image with the writer of the type. 0 on success, 1 on failure
// (after the writer's own report).
int SaveImageFile(ImageRecord* image, const std::string& path, int type, int depthEntry, int compress, int quality);

}  // namespace qv
