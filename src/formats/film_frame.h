// One frame of a film strip file (".FLM") read as an image.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace qv {

struct ImageRecord;

struct FilmHeader {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t frames = 0;
};

// Checks the 16-byte header: fewer bytes give message 24, another magic 17,
// a side outside 1..1024 or a count outside 1..4096 message 92. The log
// receives the size and the count. False after a message.
bool ReadFilmHeader(std::span<const std::uint8_t> header, const std::string& name, FilmHeader& out);

// Reads the frame chosen in "Select Video Frame" (headless: the first).
// Returns a new image tagged "iflm" (format "FiLM", 24 bits, frame index
// the chosen frame), unlocked, or null after a message or a cancel. A frame
// whose planes are cut short gives message 25.
ImageRecord* ReadFilmFrameFile(const std::string& path);
// The same for a file held in memory.
ImageRecord* ReadFilmFrame(std::span<const std::uint8_t> file, const std::string& name);

}  // namespace qv
