// AVI files: one uncompressed video stream of 8-bit (palette) or 24-bit
// frames written by a RIFF writer of our own, and single frames read back
// by our own RIFF parser, whose DIBs go through the bitmap reader.
//
// Results follow the system's codes: 0 done, 1 failed (the user was told).
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace qv {

struct ImageRecord;

inline constexpr std::uint32_t kAviKeyFrame = 16;     // AVIIF_KEYFRAME
inline constexpr std::uint32_t kAviHasIndex = 16;     // AVIF_HASINDEX
inline constexpr std::uint64_t kAviSizeLimit = 0xFFFFFFFFull;

struct AviIndexEntry {
  char id[4];
  std::uint32_t flags = 0;
  std::uint32_t offset = 0;  // of the chunk header, from the start of the file
  std::uint32_t size = 0;
};

struct AviFileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// One open output. The frames go to a temporary file beside the target,
// which Close completes and renames over it.
struct AviWriter {
  int state = 0;  // 0 none, 1 armed (the next frame creates the file), 2 open
  std::string path;
  std::string tempPath;
  std::unique_ptr<std::FILE, AviFileCloser> file;
  std::uint32_t dataStart = 4096;   // the first frame chunk
  std::uint64_t end = 0;            // where the next chunk goes
  int width = 0, height = 0, bits = 24;
  std::vector<std::uint8_t> format;  // BITMAPINFOHEADER and palette
  std::uint8_t palette[768]{};       // the file's palette, for 8-bit frames
  std::vector<AviIndexEntry> index;  // grown 256 entries at a time
  std::uint32_t frames = 0;
  std::uint32_t imageBytes = 0;
  long millis = 70;
  // The largest file written; a test lowers it to reach the limit cheaply.
  std::uint64_t limit = kAviSizeLimit;
  bool failed = false;  // a frame was refused: the run ends
};

// Sequence generation's start with type AVI: the next frame creates the file.
void ArmAvi(const std::string& path);
// Adds the image as the next frame at 8 or 24 bits. Without Arm: message 57.
// Another size than the first frame's: message 51 and the file is closed
// with what it holds. Past 4 GB: message 73 and the same.
int AddAviFrame(ImageRecord* image, const std::string& path, int bits);
// Writes the headers, the movi list's size and the index, and renames the
// file over the target. Without a frame the target is left alone.
int CloseAvi();
bool AviOpen();
// Menus 3024 and 3026: every present film frame at 8 or 24 bits. Empty
// slots are skipped (message 74, once); no present slot: message 19.
int SaveFilmAsAvi(const std::string& path, int bits);
// The menu commands: the file dialog "Save Film as AVI", then the film.
// 0 done, 1 failed, 2 cancelled. The folder is remembered in FilmPath.
int SaveFilmAsAviCommand(int bits);

// Reads the frame chosen in "Select Video Frame" (headless: the first).
ImageRecord* ReadAviFrameFile(const std::string& path);
ImageRecord* ReadAviFrame(std::span<const std::uint8_t> file, const std::string& name);

// What `info` reports: the video stream's frame count and frame time.
struct AviSummary {
  long frames = 0;
  double secondsPerFrame = 0;
  int width = 0, height = 0, bits = 0;
};
bool SummariseAvi(const std::string& path, AviSummary& out);

}  // namespace qv
