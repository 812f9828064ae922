// Image records and the image table.
//
// Every picture the system holds is an ImageRecord: a plain header kept in a
// real memory place, plus two virtual places for the RGBA pixels and for the
// table of row offsets. The images the user sees are listed in the image
// table; temporary records (undo layers, work images) are not.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "store/memory_places.h"

namespace qv {

inline constexpr std::uint16_t kNoFrame = 0xFFFF;
// Larger pictures are refused before anything is allocated; the row table
// holds 32-bit pixel indexes.
inline constexpr std::int64_t kMaxImagePixels = std::int64_t{1} << 30;
inline constexpr int kFirstTableCapacity = 20;
inline constexpr int kMinAnnotationBytes = 324;
inline constexpr int kNewImageNameMax = 19;

struct ImageRecord {
  std::int32_t width;
  std::int32_t height;
  PlaceHandle pixelPlace;        // "iHrgba", width x height x 4 bytes
  PlaceHandle rowPlace;          // "iyof", max(width, height) x 4 bytes
  char name[256];
  std::uint8_t red[256];
  std::uint8_t green[256];
  std::uint8_t blue[256];
  std::uint8_t* pixels;          // R, G, B, A per pixel; null while unlocked
  std::uint32_t* rows;           // pixel index of each row; null while unlocked
  std::int32_t dpiXNum;
  std::int32_t dpiXDen;
  std::int32_t dpiYNum;
  std::int32_t dpiYDen;
  std::int16_t hasAlpha;
  ImageRecord* parent;
  std::int32_t originX;          // undo layers: left edge, -1 for a whole image
  std::int32_t originY;
  char path[256];                // undo layers: the operation's name
  char* annotation;              // real place or null
  char format[12];
  std::uint16_t bitDepth;
  std::uint16_t undone;
  std::uint16_t changed;         // unsaved changes, 0 when saved
  std::uint16_t frameIndex;      // kNoFrame when not from an animation
  std::uint16_t lockCount;
  std::uint16_t saveOption;
  std::uint16_t saveQuality;
  std::uint16_t fileType;
  char author[44];
};
// The header lives in a zero-filled memory place and is never destroyed.
static_assert(std::is_trivially_copyable_v<ImageRecord> && std::is_trivially_destructible_v<ImageRecord>);

// The New Image settings and the fields its dialog edits.
struct NewImageDetails {
  std::string name;
  int width = 320;
  int height = 200;
  int dpiX = 100;
  int dpiY = 100;
  std::array<std::uint8_t, 3> colour{30, 30, 70};
};

struct ImageStore {
  ImageRecord** table = nullptr;  // real place "theimgs"
  int count = 0;
  int capacity = 0;
  ImageRecord* current = nullptr;        // the image operations default to
  ImageRecord* currentAction = nullptr;  // the image operations change
  int newImageCounter = 0;               // numbers "NEW_%d"
  NewImageDetails newImage;              // what was entered last time
  // Told, in order, of an image leaving the table before it is freed (its
  // views close, a selection made on it is forgotten). The program fills
  // the list; the store knows nothing of who listens.
  std::vector<void (*)(const ImageRecord*)> removalListeners;
};

// The program's one ImageStore (owned by the Program).
ImageStore& Images();

ImageRecord* CreateImage(int width, int height, const char* tag);
// An image whose pixels are all zero, alpha too, for a reader that writes
// every byte of every pixel next: it saves a pass over the whole plane.
ImageRecord* CreateImageToFill(int width, int height, const char* tag);
ImageRecord* CreateLockedImage(int width, int height, const char* tag);
void FreeImage(ImageRecord* image);
int LockImage(ImageRecord* image);    // 0 ok, 1 pixel place, 4 row place
int UnlockImage(ImageRecord* image);  // always 0
void ResetRowTable(ImageRecord* image);
void ForceOpaqueAlpha(ImageRecord* image);
int EnsureAnnotation(ImageRecord* image, int size);  // 0 ok, -1 no image, -2 no memory
ImageRecord* CloneImage(ImageRecord* source, bool openView);
void FillDefaultPalette(ImageRecord* image);

// The image table.
int InitImageTable();                               // 0 ok, 1 no memory
int AddImage(ImageRecord* image, bool openView);    // 0 ok, 1 no memory
int RemoveImage(ImageRecord* image);                // 0 removed, 1 refused while busy, 2 kept
int ImageIndex(const ImageRecord* image);           // -1 when not listed
ImageRecord* ImageAt(int index);
int ImageCount();

// New images: the proposal (counter + 1, "NEW_%d", last entries), the image
// made from confirmed details, and the whole command through the host.
NewImageDetails ProposeNewImage();
int CreateNewImage(const NewImageDetails& details);  // 0 ok, 1 failure
int NewImage();                                      // 0 ok, 1 failure, 2 cancelled
std::string NextNewImageName();                      // "NEW_%d" for operation results

// Address of pixel (x, y) of a locked image.
inline std::uint8_t* PixelAt(ImageRecord* image, int x, int y) {
  return image->pixels + (static_cast<std::size_t>(image->rows[y]) + static_cast<std::size_t>(x)) * 4;
}

}  // namespace qv
