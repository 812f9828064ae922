// Image file recognition and the one entry for reading any image file.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace qv {

struct ImageRecord;

// ImageFileType codes, kept in each image record.
enum ImageFileType : int {
  kFileBmp = 0, kFileFlc = 1, kFileGif = 2, kFileIff = 3, kFileJpg = 4, kFilePcx = 5, kFileTga = 6,
  kFileTif = 7, kFileTrm = 8, kFileAvi = 9, kFileFlm = 10, kFilePpm = 11, kFileRgb = 12, kFileRaw = 13,
};
inline constexpr int kFileTypeCount = 14;

// "BMP", "FLC", ... for extensions; empty above 13.
std::string_view FileTypeExtension(int code);
// The format name a load writes into the record ("TIFF", "TRiM", "FiLM" ...).
std::string_view FileTypeFormat(int code);

// What the signatures say a file is, in the order they are tested.
enum class Recognition {
  TooSmall, Avi, IRaw, Bmp, Gif, Iff, Tiff, FilmStrip, Ppm, Sgi, Flic, Pcx, Jpeg, JpegStream, Mpeg, Targa, Raw,
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

// What the "Load Image" dialog returned: one path, or with multiple
// selection a folder followed by names separated by single blanks. Each file
// is loaded in turn, added to the image table with a view, and sets the New
// Image size; the folder of the first that loads becomes ImagePath. Returns
// how many loaded.
int LoadImageSelection(const std::string& selection, bool multiple);

// The file named on the command line, dropped, or picked from the recent
// files: film strips and projects go to their loaders, anything else is
// loaded as an image and shown. 0 when something was opened.
int OpenFileByName(const std::string& path);

}  // namespace qv
