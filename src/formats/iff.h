// IFF pictures: interleaved bitmaps (ILBM) of 1 to 8 planes with a palette,
// HAM, extra half brite and deep (more than 8 planes) pictures, the chunky
// PBM form, Toaster framestores and TRIM pictures; written as 24-plane ILBM,
// TRIM or Toaster framestore files. All numbers are big-endian.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace qv {

class ChunkSink;
struct ImageRecord;

// Reads an IFF file held in memory. Returns a new image tagged "iiff",
// unlocked, with file type 3 (8 for TRIM data) and format "IFF/ILBM" (or
// "Toaster FS"), or null after a note.
ImageRecord* ReadIff(std::span<const std::uint8_t> file);
ImageRecord* ReadIffFile(const std::string& path);

// The x : y aspect a bitmap header's stored aspect means for a picture of
// this size (the common Amiga screen sizes are corrected).
struct IffAspect {
  int x = 0, y = 0;
};
IffAspect CorrectedIffAspect(int storedX, int storedY, int width, int height);

// Writes the picture as a 24-plane ILBM, or with trim as a TRIM file (one
// MONO chunk for a gray picture, else RGBT); ByteRun1 when compress.
// 0 on success, 1 after a note.
int WriteIlbm(ImageRecord* image, const std::string& path, bool trim, bool compress);
// The same into any sink; 0 on success, else the note to show.
int EncodeIlbm(ChunkSink& out, ImageRecord* image, bool trim, bool compress, std::string& note);

// Writes the picture sampled to 752 x 480 as a Toaster framestore.
int WriteToasterFs(ImageRecord* image, const std::string& path, bool compress);
int EncodeToasterFs(ChunkSink& out, ImageRecord* image, bool compress, std::string& note);

}  // namespace qv
