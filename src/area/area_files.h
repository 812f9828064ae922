// Area selection files (.ASF) and I-shapes (.ISH): selections kept between
// sessions and refitted to whatever image they are next used on, and the
// user outline that the I-shape mode stretches into a drawn box.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "area/area_mask.h"

namespace qv {

struct StoredArea;

// The I-shape list: per-mille points of the shape's box (x left to right,
// y top to bottom, 0..1000), its name, the mode of a selection loaded from
// an area file that no mask has been made from yet, and the one record that
// area interpolation blends into.
struct AreaFilesState {
  PointList shape{nullptr, 0, 0, "xshape"};
  std::string shapeName;  // "shapetext"
  std::int16_t loadedMode = 0;
  StoredArea* scratch = nullptr;  // "aream"
};

// The program's one AreaFilesState (owned by the Program).
AreaFilesState& AreaFiles();

inline constexpr std::size_t kAreaFileLineLimit = 197;
// Coordinates a file may give; anything further is not a number we read.
inline constexpr std::int64_t kAreaFileCoordinateLimit = 1000000;
// Files are read whole up to this size; the rest is not read (and logged).
inline constexpr std::int64_t kAreaFileMaxBytes = std::int64_t{64} << 20;

// The built-in shape, "Triangle", set at start-up.
void InitIShape();
int AddShapePoint(int x, int y, std::uint8_t flag);  // 0 ok, 1 no memory
// Fills a selection's capture list with the I-shape (the I-shape mode's
// points before they are stretched into the drawn box).
int SetIShapeCapture(AreaSelection& s);

// The current selection as an area file, in the mode its mask was made with.
std::string AreaFileText();
// 0 written; 1 after message 71 (the previous file is left as it was).
int SaveAreaFile(const std::filesystem::path& path);
// 0 read (the selection is loaded and marked so); 1 after message 42.
int ReadAreaFileText(std::string_view text);
// 0 read; 1 after message 71 or 42.
int LoadAreaFile(const std::filesystem::path& path);

// Rebuilds the current selection's geometry for an image of this size: the
// stored mode becomes the mode of the rebuild (returned), shapes keep their
// pixel coordinates, boxes and centres are scaled to the new size.
int FitStoredSelection(int width, int height, int viewIndex);
// Redo of a loaded selection no mask was made from yet: the loaded mode,
// refitted to the image (returned).
int RefitLoadedSelection(ImageRecord* image);
// A loaded selection made on an image: refitted, built, finished as a drawn
// selection is. 0 ok, 1 failure.
int FinishLoadedSelection(ImageRecord* image, int viewIndex);

// I-shape files. The shape changes only when a load succeeds.
std::string IShapeText();  // the file SaveIShape writes for the current list
int ReadIShapeText(std::string_view text, std::string_view name);  // 0 ok; 1 after 42
int LoadIShape(const std::filesystem::path& path);  // 0 ok; 1 after 63 or 42
// Normalises the selection's capture points into the I-shape list and writes
// it; nothing happens (returns 2) without capture points. 1 after 63.
int SaveIShape(const std::filesystem::path& path);

// The Area menu's commands: the file dialog (starting where the remembered
// name says, which they update), then the file. A loaded selection is made
// on the current image at once. 0 done, 1 failed (the user was told), 2
// cancelled or nothing to do.
int LoadAreaFileCommand(std::string& areaPath);
int SaveAreaFileCommand(std::string& areaPath);
// The I-shape folder, name and extension are the "IShapes" settings.
int LoadIShapeCommand(std::string& folder, std::string& name, std::string& extension);
int SaveIShapeCommand(std::string& folder, std::string& name, std::string& extension);

// The folder the area file dialogs open in, from the remembered AreaPath: a
// name of 1 to 4 characters is dropped, a drive name ending in ':' gets a
// separator.
std::string AreaDialogFolder(const std::string& remembered);

}  // namespace qv
