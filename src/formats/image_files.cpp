#include "formats/image_files.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "base/messages.h"
#include "base/preferences.h"
#include "formats/bmp.h"
#include "formats/byte_io.h"
#include "formats/formats_state.h"
#include "formats/gif.h"
#include "formats/film_frame.h"
#include "formats/iff.h"
#include "formats/loader_library.h"
#include "formats/pcx.h"
#include "formats/ppm.h"
#include "formats/raw.h"
#include "formats/sgi.h"
#include "formats/targa.h"
#include "store/image_record.h"

namespace qv {
namespace {

constexpr int kMessageCannotOpenImage = 6;
constexpr int kMessageNotRecognised = 18;
constexpr int kMessageTooSmall = 79;
constexpr int kMessageTwoLoads = 83;
constexpr int kMessageLzw = 101;

constexpr std::array<std::string_view, kFileTypeCount> kExtensions = {
    "BMP", "FLC", "GIF", "IFF", "JPG", "PCX", "TGA", "TIF", "TRM", "AVI", "FLM", "PPM", "RGB", "RAW", "PNG"};
constexpr std::array<std::string_view, kFileTypeCount> kFormats = {
    "BMP", "FLC", "GIF", "IFF", "JPG", "PCX", "TGA", "TIFF", "TRiM", "AVI", "FiLM", "PPM", "RGB", "RAW", "PNG"};

// A fixed-size probe: the bytes of the file at an offset, zero past its end.
template <std::size_t N>
std::array<std::uint8_t, N> ProbeAt(std::span<const std::uint8_t> start, std::size_t offset) {
  std::array<std::uint8_t, N> out{};
  for (std::size_t i = 0; i < N && offset + i < start.size(); ++i) out[i] = start[offset + i];
  return out;
}

template <std::size_t N>
bool Has(const std::array<std::uint8_t, N>& probe, std::size_t at, std::string_view text) {
  if (at + text.size() > N) return false;
  return std::memcmp(probe.data() + at, text.data(), text.size()) == 0;
}

bool HasJfifStart(const std::array<std::uint8_t, 12>& p) {
  return p[0] == 0xFF && p[1] == 0xD8 && p[2] == 0xFF && p[3] == 0xE0 && Has(p, 6, "JFIF");
}

bool JfifAnyCase(std::span<const std::uint8_t> start, std::size_t at) {
  static constexpr char kJfif[] = "JFIF";
  for (std::size_t i = 0; i < 4; ++i) {
    if (at + i >= start.size()) return false;
    if (std::toupper(start[at + i]) != kJfif[i]) return false;
  }
  return true;
}

struct SplitPath {
  std::string dir, base, ext;
};

SplitPath Split(const std::string& path) {
  std::filesystem::path p(path);
  SplitPath s;
  s.dir = p.parent_path().string();
  s.base = p.stem().string();
  s.ext = p.extension().string();
  if (!s.ext.empty()) s.ext.erase(0, 1);
  return s;
}

bool CanOpen(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::fclose(f);
  return !std::filesystem::is_directory(path);
}

// The same name in the project folder, then in the image folder.
bool FindElsewhere(std::string& path) {
  SplitPath s = Split(path);
  std::string leaf = s.ext.empty() ? s.base : s.base + "." + s.ext;
  const FileLoadState& files = FileLoads();
  for (const std::string* dir : {&files.projPath, &files.imagePath}) {
    if (dir->empty()) continue;
    std::string candidate = (std::filesystem::path(*dir) / leaf).string();
    if (CanOpen(candidate)) {
      path = candidate;
      return true;
    }
  }
  return false;
}

void LogHeader(std::span<const std::uint8_t> start) {
  auto h = ProbeAt<6>(start, 0);
  LogLine("Image header = %02X %02X %02X %02X %02X %02X\n", h[0], h[1], h[2], h[3], h[4], h[5]);
}

ImageRecord* NotYetReadable(Recognition kind, const std::string& path) {
  std::string text = std::string(RecognitionName(kind)) + " file recognised; this version cannot read it yet.";
  ShowNote(text, path);
  return nullptr;
}

// Clears the one-load mark on every way out.
struct LoadMark {
  LoadMark() { FileLoads().loadRunning = true; }
  ~LoadMark() { FileLoads().loadRunning = false; }
};

}  // namespace

std::string_view FileTypeExtension(int code) {
  return code >= 0 && code < kFileTypeCount ? kExtensions[code] : std::string_view{};
}

std::string_view FileTypeFormat(int code) {
  return code >= 0 && code < kFileTypeCount ? kFormats[code] : std::string_view{};
}

std::string_view RecognitionName(Recognition r) {
  switch (r) {
    case Recognition::TooSmall: return "too small";
    case Recognition::Avi: return "AVI";
    case Recognition::IRaw: return "I-RAW";
    case Recognition::Bmp: return "BMP";
    case Recognition::Gif: return "GIF";
    case Recognition::Iff: return "IFF";
    case Recognition::Png: return "PNG";
    case Recognition::Tiff: return "TIFF";
    case Recognition::FilmStrip: return "Film strip";
    case Recognition::Ppm: return "PPM";
    case Recognition::Sgi: return "SGI";
    case Recognition::Flic: return "FLIC";
    case Recognition::Pcx: return "PCX";
    case Recognition::Jpeg: return "JPEG";
    case Recognition::JpegStream: return "JPEG stream";
    case Recognition::Mpeg: return "MPEG";
    case Recognition::Targa: return "Targa";
    case Recognition::Raw: return "RAW";
    case Recognition::Unknown: return "unknown";
  }
  return "unknown";
}

Recognition RecognizeImage(std::span<const std::uint8_t> start, std::string_view path) {
  if (start.size() < 4) return Recognition::TooSmall;
  auto hdr = ProbeAt<12>(start, 0);
  auto at82 = ProbeAt<8>(start, 82);
  auto mac = ProbeAt<12>(start, 128);

  if (Has(hdr, 0, "RIFF") && Has(hdr, 8, "AVI")) return Recognition::Avi;
  if (Has(hdr, 0, "I24")) return Recognition::IRaw;
  if (Has(hdr, 0, "BM")) return Recognition::Bmp;
  if (Has(hdr, 0, "GIF")) return Recognition::Gif;
  if (Has(hdr, 0, "LIST") || Has(hdr, 0, "CAT ")) return Recognition::Iff;  // the first FORM inside
  if (Has(hdr, 0, "FORM") || Has(hdr, 0, "ILBM")) return Recognition::Iff;
  // Before the probes at offset 128, so that only a file starting with the
  // signature can change reader.
  if (Has(hdr, 0, "\x89PNG\r\n\x1a\n")) return Recognition::Png;
  if (Has(hdr, 0, "II") || Has(hdr, 0, "MM") || Has(mac, 0, "II") || Has(mac, 0, "MM")) return Recognition::Tiff;
  if (Has(hdr, 0, "ZFLM")) return Recognition::FilmStrip;
  if (Has(hdr, 0, "P6")) return Recognition::Ppm;
  if (hdr[0] == 0x01 && hdr[1] == 0xDA) return Recognition::Sgi;
  if (hdr[5] == 0xAF && (hdr[4] == 0x11 || hdr[4] == 0x12)) return Recognition::Flic;
  if (hdr[0] == 0x0A) return Recognition::Pcx;
  if (HasJfifStart(hdr) || HasJfifStart(mac)) return Recognition::Jpeg;
  if (Has(at82, 0, "JPEGStrm")) return Recognition::JpegStream;
  if (hdr[0] == 0x00 && hdr[1] == 0x00 && hdr[2] == 0x01 && hdr[3] == 0xBA) return Recognition::Mpeg;
  if (hdr[2] == 1 || hdr[2] == 2 || hdr[2] == 9 || hdr[2] == 10) return Recognition::Targa;
  for (std::string_view raw : {".raw", ".RAW", ".red", ".RED"})
    if (path.find(raw) != std::string_view::npos) return Recognition::Raw;
  if (JfifAnyCase(start, 2786) || JfifAnyCase(start, 2784) || (hdr[0] == 0xFF && hdr[1] == 0xD8 && hdr[2] == 0xFF))
    return Recognition::Jpeg;
  return Recognition::Unknown;
}

ImageRecord* LoadImageFile(ImageRecord* fallback, std::string& path) {
  FileLoadState& files = FileLoads();
  if (files.loadRunning) {
    ShowMessage(kMessageTwoLoads);
    return fallback;
  }
  LoadMark mark;

  if (!CanOpen(path)) FindElsewhere(path);
  LogLine("\nLoading image: \"%s\"\n", path.c_str());
  if (!CanOpen(path)) {
    ShowMessageFile(kMessageCannotOpenImage, path);
    return fallback;
  }
  std::vector<std::uint8_t> start = ReadFileRange(path, 0, kProbeBytes);
  Recognition kind = RecognizeImage(start, path);

  ImageRecord* image = nullptr;
  int code = -1;
  switch (kind) {
    case Recognition::TooSmall:
      ShowMessageFile(kMessageTooSmall, path);
      return fallback;
    case Recognition::Bmp:
      image = ReadBmpFile(path);
      code = kFileBmp;
      break;
    case Recognition::Gif:
      if (SavePrefs().chopMem == 0) {
        ShowMessageFile(kMessageLzw, path);
        return fallback;
      }
      image = ReadGifFile(path);
      code = kFileGif;
      break;
    case Recognition::Pcx:
      image = ReadPcxFile(path);
      code = kFilePcx;
      break;
    case Recognition::Targa:
      image = ReadTargaFile(path);
      code = kFileTga;
      break;
    case Recognition::Png:
      image = LoadThroughLibrary(kPngLibrary, path);
      code = kFilePng;
      break;
    case Recognition::Tiff:
      image = LoadThroughLibrary(kTiffLibrary, path);
      code = kFileTif;
      break;
    case Recognition::Jpeg:
      image = LoadThroughLibrary(kJpegLibrary, path);
      code = kFileJpg;
      if (image) image->bitDepth = 24;
      break;
    // The IFF reader sets the type itself (ILBM or TRIM); I-RAW keeps 0.
    case Recognition::Iff: image = ReadIffFile(path); break;
    case Recognition::Ppm: image = ReadPpmFile(path), code = kFilePpm; break;
    case Recognition::FilmStrip: image = ReadFilmFrameFile(path), code = kFileFlm; break;
    case Recognition::Flic:
      if (!files.animationFiles.readFlic) return NotYetReadable(kind, path), fallback;
      image = files.animationFiles.readFlic(path), code = kFileFlc;
      break;
    case Recognition::Avi:
      if (!files.animationFiles.readAvi) return NotYetReadable(kind, path), fallback;
      image = files.animationFiles.readAvi(path), code = kFileAvi;
      break;
    case Recognition::Sgi: image = ReadSgiFile(path), code = kFileRgb; break;
    case Recognition::Raw: image = ReadRawFile(path), code = kFileRaw; break;
    case Recognition::IRaw: image = ReadIRawFile(path); break;
    case Recognition::JpegStream:
    case Recognition::Mpeg: {
      LogHeader(start);
      char text[300];
      std::snprintf(text, sizeof text, kind == Recognition::Mpeg ? "MPEG file: %s" : "JPEGStrm file: %s",
                    path.c_str());
      ShowMessageWith(kMessageNotRecognised, text);
      return fallback;
    }
    case Recognition::Unknown:
      LogHeader(start);
      ShowMessageFile(kMessageNotRecognised, path);
      return fallback;
    default:
      NotYetReadable(kind, path);
      return fallback;
  }
  if (!image) return fallback;

  SplitPath s = Split(path);
  std::snprintf(image->path, sizeof image->path, "%s", path.c_str());
  std::string name = s.ext.empty() ? s.base : s.base + "." + s.ext;
  std::snprintf(image->name, sizeof image->name, "%s", name.c_str());
  if (code >= 0) image->fileType = static_cast<std::uint16_t>(code);
  // The IFF reader names its own format ("IFF/ILBM", "Toaster FS").
  if (image->fileType != kFileIff)
    std::snprintf(image->format, sizeof image->format, "%.*s",
                  static_cast<int>(FileTypeFormat(image->fileType).size()), FileTypeFormat(image->fileType).data());
  return image;
}

static ImageRecord* LoadAndAdd(std::string& path) {
  ImageRecord* image = LoadImageFile(nullptr, path);
  if (image && AddImage(image, true) != 0) {
    FreeImage(image);
    image = nullptr;
  }
  return image;
}

int LoadImageIntoTable(std::string& path) { return LoadAndAdd(path) ? 0 : 1; }

int LoadImages(const std::vector<std::string>& paths) {
  int loaded = 0;
  for (std::string path : paths) {
    const ImageRecord* image = LoadAndAdd(path);
    if (!image) continue;
    NewImageDetails& details = Images().newImage;
    details.width = image->width;
    details.height = image->height;
    if (loaded++ == 0) FileLoads().imagePath = Split(path).dir;
    if (paths.size() == 1) RememberRecentFile(path);
  }
  return loaded;
}

int LoadImageSelection(const std::string& selection, bool multiple) {
  std::vector<std::string> paths;
  if (!multiple || selection.find(' ') == std::string::npos) {
    paths.push_back(selection);
  } else {
    std::size_t blank = selection.find(' ');
    std::filesystem::path dir = selection.substr(0, blank);
    for (std::size_t at = blank + 1; at <= selection.size();) {
      std::size_t next = selection.find(' ', at);
      if (next == std::string::npos) next = selection.size();
      if (next > at) paths.push_back((dir / selection.substr(at, next - at)).string());
      at = next + 1;
    }
  }
  return LoadImages(paths);
}

}  // namespace qv
