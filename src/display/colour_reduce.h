// Colour quantization and output colour reduction.
//
// Every writer that stores fewer than 24 bits per pixel (BMP 1/4/8 bit, GIF,
// PCX, FLIC and AVI frames) first calls ReduceColours. It picks an output
// palette (fixed, a gray ramp, the render palette, a palette the caller
// gives, or colours chosen from the image), maps every pixel to an index of
// that palette with ordered or error-diffusion dithering, and leaves the
// palette in the render palette record.
//
// What a writer gets back (ReducedImage):
//   - for the palette targets (256 colours, 256 grays, 16 colours, 16 grays,
//     2 colours): one byte per pixel, the palette index, rows top-down,
//     stride == width. Indices are below `colours`; 4-bit and 1-bit writers
//     pack them themselves (high nibble / bit 7 first, as their format says).
//   - for kReduce24Bits: blue, green, red per pixel, rows top-down, each row
//     padded to a multiple of 4 bytes (stride).
//   - the palette itself is in the three 256-entry arrays the caller passed;
//     entries at and beyond `colours` are unused (they hold render palette
//     entries, so a writer may store all 256).
// An empty ReducedImage (operator bool false) means failure; the user has
// already been told why.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>

#include "display/colour_palettes.h"

namespace qv {

struct ImageRecord;

// Targets, as display-mode codes.
inline constexpr int kReduce24Bits = 0;
inline constexpr int kReduce256Colours = 1;
inline constexpr int kReduce256Grays = 2;
inline constexpr int kReduce16Colours = 3;
inline constexpr int kReduce16Grays = 4;
inline constexpr int kReduce2Colours = 5;

// Palette sources (`ChooseColors`, plus 4 for the palette in the arrays).
inline constexpr int kPaletteDefault = 0;
inline constexpr int kPaletteGray = 1;
inline constexpr int kPaletteChoose = 2;
inline constexpr int kPaletteRender = 3;
inline constexpr int kPaletteGiven = 4;

// Palette usage codes, one per render palette entry.
inline constexpr std::uint8_t kUsePick = 0;
inline constexpr std::uint8_t kUseAsIs = 1;
inline constexpr std::uint8_t kUseSkip = 2;

inline constexpr int kGridCells = 64 * 64 * 64;
inline constexpr int kMaxChosenColours = 256;

// The exact-colour tree: colours by red, then a node per (red, green) that
// lists palette indexes by blue; 0xFFFF marks an empty slot.
struct ColourTree {
  std::uint8_t marker[256];              // non-zero: some colour has this red
  std::uint16_t nodeOf[256 * 256];       // by red x 256 + green
  std::uint16_t nodes[kMaxChosenColours][256];
  int nodeCount;
};

// State of the output colour reduction: the settings and what the "Output
// Color Reduction" window edits, plus the quantizer's grids and tree (memory
// places allocated on first use and kept for the rest of the run).
struct ColourReduceState {
  // Settings ("PixQv" section): ChooseColors, Ordered, LockAfterFirst.
  int chooseColors = kPaletteDefault;  // 0..3
  int ordered = 0;
  int lockAfterFirst = 0;
  int ditherAmount = 100;              // percent, not kept in the settings file
  // Usage code of each render palette entry (the usage file may name up to
  // the record's 1024 entries; choosing uses the first 256).
  std::array<std::uint8_t, kMaxPaletteEntries> usage{};
  bool windowOpen = false;             // "Output Color Reduction" shown

  // Quantizer.
  std::uint8_t* rads = nullptr;        // per cell: distance to nearest chosen colour, 255 none, 254 searched
  std::uint8_t* regs = nullptr;        // per cell: that colour's index
  std::uint8_t* lrad = nullptr;        // cell distance by the three cell offsets
  ColourTree* tree = nullptr;
  bool prepared = false;               // grids and tree describe `searchPalette`
  PaletteRecord searchPalette{};       // copy of the palette last prepared or chosen
  std::array<std::uint8_t, kMaxChosenColours> searchUsage{};
  std::array<bool, kMaxChosenColours> searchable{};  // takes part in nearest searches
  int searchCount = 0;

  // The palette kept from the first frame of an animation (LockAfterFirst).
  bool lockedValid = false;
  int lockedTarget = 0;
  int lockedCount = 0;
  std::uint8_t lockedRed[256]{};
  std::uint8_t lockedGreen[256]{};
  std::uint8_t lockedBlue[256]{};
};

// The program's one ColourReduceState (owned by the Program).
ColourReduceState& ReduceState();

// The result of a reduction; owns its buffer (a memory place).
class ReducedImage {
 public:
  ReducedImage() = default;
  ReducedImage(int width, int height, int bitsPerPixel);
  ReducedImage(ReducedImage&& other) noexcept;
  ReducedImage& operator=(ReducedImage&& other) noexcept;
  ReducedImage(const ReducedImage&) = delete;
  ReducedImage& operator=(const ReducedImage&) = delete;
  ~ReducedImage();

  explicit operator bool() const { return data_ != nullptr; }
  int width() const { return width_; }
  int height() const { return height_; }
  int bitsPerPixel() const { return bits_; }  // 8 (indices) or 24 (blue, green, red)
  int stride() const { return stride_; }
  int colours() const { return colours_; }    // palette entries in use; 0 for 24 bits
  std::uint8_t* Row(int y) { return data_ + static_cast<std::size_t>(y) * stride_; }
  const std::uint8_t* Row(int y) const { return data_ + static_cast<std::size_t>(y) * stride_; }
  const std::uint8_t* data() const { return data_; }
  void SetColours(int colours) { colours_ = colours; }

 private:
  void Release();
  std::uint8_t* data_ = nullptr;
  int width_ = 0;
  int height_ = 0;
  int bits_ = 8;
  int stride_ = 0;
  int colours_ = 0;
};

// Reduces an image. red/green/blue are 256-entry arrays receiving the
// palette (with kPaletteGiven they hold the palette to use; `givenCount`,
// 1..256, then says how many entries count, 0 meaning all of the target's).
// With `store` the resulting palette entries are copied into the render
// palette (its count, the number of colours wanted, is left as it is).
ReducedImage ReduceColours(ImageRecord* image, std::uint8_t* red, std::uint8_t* green, std::uint8_t* blue,
                           int target, int source, bool ordered, bool store, int amount, int givenCount = 0);
// The same with the current settings (ChooseColors, Ordered, dither amount),
// as still-image writers call it.
ReducedImage ReduceWithSettings(ImageRecord* image, std::uint8_t* red, std::uint8_t* green, std::uint8_t* blue,
                                int target);
// For a frame of an animation file: with LockAfterFirst (and colours chosen
// from the image) the palette chosen for the file's first frame is kept for
// its later frames of the same target.
ReducedImage ReduceFrame(ImageRecord* image, std::uint8_t* red, std::uint8_t* green, std::uint8_t* blue,
                         int target, bool firstFrame);

// Chooses `count` colours (at most 256) from the image into `palette`,
// following the usage codes. Flag 0: entry 0 becomes black and choosing
// starts at entry 1; flag 1: starts at entry 0. Sets palette.count to the
// entries filled. 0, or -1 when the grids cannot be had (message 22).
int SelectPaletteColours(ImageRecord* image, PaletteRecord& palette, int count, int flag);
// The same over a 64 x 64 x 64 table of presence bytes (non-zero: present).
int SelectPaletteFromCells(const std::uint8_t* presence, PaletteRecord& palette, int count, int flag);
// Makes NearestPaletteIndex answer for this palette (skipped entries left
// out); nothing to do when palette and usage codes are as last time.
// 0, or -1 when the grids cannot be had (message 22).
int PrepareNearestSearch(const PaletteRecord& palette);
// The palette index for a colour (0 before any preparation).
int NearestPaletteIndex(int red, int green, int blue);

// Palette usage files (.PLU). 0 success, 1 failure (message shown).
int SavePaletteUsage(const std::filesystem::path& path);
int LoadPaletteUsage(const std::filesystem::path& path);

// What the "Output Color Reduction" window edits.
int NumberOfColours();           // the render palette's count
void SetNumberOfColours(int n);  // 1..256
// The letter shown for an entry: 'p', 'u' or 's'.
char UsageLetter(int entry);
void SetUsage(int entry, std::uint8_t code);

}  // namespace qv
