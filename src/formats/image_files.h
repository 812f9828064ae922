// Image file recognition and the one entry for reading any image file.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

struct ImageRecord;

// ImageFileType codes, kept in each image record.
enum ImageFileType : int {
  kFileBmp = 0, kFileFlc = 1, kFileGif = 2, kFileIff = 3, kFileJpg = 4, kFilePcx = 5, kFileTga = 6,
  kFileTif = 7, kFileTrm = 8, kFileAvi = 9, kFileFlm = 10, kFilePpm = 11, kFileRgb = 12, kFileRaw = 13,
  kFilePng = 14,
};
inline constexpr int kFileTypeCount = 15;

// "BMP", "FLC", ... for extensions; empty above 14.
std::string_view FileTypeExtension(int code);
// The format name a load writes into the record ("TIFF", "TRiM", "FiLM" ...).
std::string_view FileTypeFormat(int code);

// What the signatures say a file is, in the order they are tested.
enum class Recognition {
  TooSmall, Avi, IRaw, Bmp, Gif, Iff, Png, Tiff, FilmStrip, Ppm, Sgi, Flic, Pcx, Jpeg, JpegStream, Mpeg, Targa, Raw,
  Unknown,
};
std::string_view RecognitionName(Recognition r);

// The probes need the file's first kProbeBytes bytes (fewer when the file is
// shorter); bytes past the end of a short file count as zero.
inline constexpr std::size_t kProbeBytes = 2792;
Recognition RecognizeImage(std::span<const std::uint8_t> start, std::string_view path);

// Reads the image file at path. Returns the new image (unlocked, not yet in
// the image table) or fallback when none was made. A missing file is looked
// for in the project folder, then in the image folder; path then receives
// the path that was opened.
ImageRecord* LoadImageFile(ImageRecord* fallback, std::string& path);

// Loads one image file and enters it in the image table with a view; path
// receives the path actually opened (LoadImageFile may find the file
// elsewhere). 0 loaded, 1 failed (the user has been told). The general
// opener of the frame and "Load Image" both come through here.
int LoadImageIntoTable(std::string& path);

// "Load Image": each file is loaded in turn and added with a view, and sets
// the New Image size; the folder of the first that loads becomes ImagePath;
// a single chosen file also heads the recent files. Returns how many loaded.
int LoadImages(const std::vector<std::string>& paths);

// What a dialog with multiple selection returns: one path, or a folder
// followed by names separated by single blanks; loaded as LoadImages does.
int LoadImageSelection(const std::string& selection, bool multiple);

}  // namespace qv
