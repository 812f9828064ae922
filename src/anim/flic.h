// Autodesk FLIC animations (".FLI" and ".FLC"): one frame read as an image,
// every frame read into the film strip, and 8-bit frames appended one call
// at a time, the last followed by a ring frame that leads back to the first.
//
// Results follow the system's codes: 0 done, 1 failed (the user was told).
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qv {

struct ImageRecord;

inline constexpr std::uint16_t kFliMagic = 0xAF11;
inline constexpr std::uint16_t kFlcMagic = 0xAF12;
inline constexpr std::uint16_t kFlicFrameType = 0xF1FA;
inline constexpr std::size_t kFlicHeaderBytes = 128;

// Sub-chunk types.
inline constexpr int kFlicPalette256 = 4;
inline constexpr int kFlicWordDelta = 7;
inline constexpr int kFlicPalette64 = 11;
inline constexpr int kFlicByteDelta = 12;
inline constexpr int kFlicClear = 13;
inline constexpr int kFlicByteRun = 15;
inline constexpr int kFlicRaw = 16;
inline constexpr int kFlicStamp = 18;

struct FlicHeader {
  std::uint32_t size = 0;
  std::uint16_t magic = 0;
  std::uint16_t frames = 0;
  std::uint16_t width = 0;
  std::uint16_t height = 0;
  std::uint16_t depth = 0;
  std::uint16_t flags = 0;
  std::uint32_t speed = 0;  // FLC: milliseconds; FLI: jiffies of 1/70 s
  std::uint16_t reserved1 = 0;
  std::uint32_t created = 0, creator = 0, updated = 0, updater = 0;
  std::uint16_t aspectX = 0, aspectY = 0;
  std::uint32_t frame1 = 0, frame2 = 0;
};

// The header fields (an FLI header up to its 16-bit speed, the rest zero);
// false when the file is shorter than the header.
bool ParseFlicHeader(std::span<const std::uint8_t> file, FlicHeader& out);
// The time of one frame. Animator's FLC files count milliseconds and its
// FLI files jiffies; both are read that way, whatever a header field says.
double FlicSecondsPerFrame(const FlicHeader& h);

// The decoding state of one file: the index buffer, the colour tables and
// the offset of the next chunk.
struct FlicDecoder {
  FlicHeader header;
  std::vector<std::uint8_t> area;
  std::array<std::uint8_t, 256> red{}, green{}, blue{};
  std::size_t next = kFlicHeaderBytes;
  long decoded = 0;  // frames decoded so far
  std::size_t frameStart = 0, frameEnd = 0;  // the last frame chunk's bytes

  // Checks the header against the file and makes the buffers. False after
  // the message or notice.
  bool Start(std::span<const std::uint8_t> file, const std::string& name);
  // Decodes the next frame; false when it failed (logged) or none is left.
  bool DecodeNext(std::span<const std::uint8_t> file);
  // Bytes 0, 1 and 2 of every pixel from the colour tables (alpha 255).
  void Convert(ImageRecord* image) const;
};

// Reads the frame chosen in "Select Video Frame" (headless: the first).
// A new image tagged "iflc", unlocked, or null after a message.
ImageRecord* ReadFlicFrameFile(const std::string& path);
ImageRecord* ReadFlicFrame(std::span<const std::uint8_t> file, const std::string& name);
// Loads every frame (up to the TimeLine's frame count) into the film strip,
// which takes the FLIC's frame size. 0 loaded, 1 failed (the film unchanged).
int LoadFlicIntoFilm(const std::string& path);

// ---- writing ----
// Appends the image as frame `frame` (from 0) of the file; `lastFrame` is
// true for the run's last frame, which is followed by the ring frame.
// Frame 0, or a file that is absent, starts a new file. A file holding
// fewer frames takes the image as its next frame; one holding more is cut
// after frame - 1. A failure leaves the file as it was before the call.
int AppendFlicFrame(ImageRecord* image, const std::string& path, long frame, bool lastFrame);
// Menu 3022: every present film frame appended in turn, the last followed
// by the ring frame. Empty slots are skipped (message 74, once); no present
// slot: message 19.
int SaveFilmAsFlic(const std::string& path);
// The menu command: the file dialog "Save Film as FLIC", then the film.
// 0 done, 1 failed, 2 cancelled. The folder is remembered in FilmPath.
int SaveFilmAsFlicCommand();
// A run of appends has ended: the decoding kept between calls is dropped.
void EndFlicRun();

// The word-delta chunk data (after the 6-byte chunk header) turning `from`
// into `to`, both width x height; empty when the frame cannot be described
// that way (width below 2, an odd-width line changed at both ends, too
// many packets), so it is stored raw.
std::vector<std::uint8_t> EncodeWordDelta(std::span<const std::uint8_t> from, std::span<const std::uint8_t> to,
                                          int width, int height);
// Byte-run data for a whole frame.
std::vector<std::uint8_t> EncodeByteRun(std::span<const std::uint8_t> pixels, int width, int height);

// What the run keeps between appends, so that frame i does not decode
// frames 0..i-1 again.
struct FlicRunState {
  std::string path;
  std::uint64_t fileBytes = 0;   // the file as the last append left it
  long frames = 0;               // frames counted in its header
  std::uint64_t end = 0;         // where the next frame goes
  std::uint16_t width = 0, height = 0;
  std::vector<std::uint8_t> first, last;  // index buffers of frame 0 and the last frame
  std::array<std::uint8_t, 768> firstPalette{}, lastPalette{};  // in force after those frames
  bool valid = false;
};

}  // namespace qv
