// SGI image files ("RGB"): a 512-byte header, then channel planes stored
// verbatim or run-length packed row by row, bottom row first.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace qv {

struct ImageRecord;

// Reads an SGI image held in memory; name is the file's name for the
// messages. 1 channel is gray, 2 gray and alpha, 3 RGB, 4 or more RGBA;
// 2-byte samples are scaled to one byte. Returns a new image tagged "rgb",
// unlocked, or null after a note or message.
ImageRecord* ReadSgi(std::span<const std::uint8_t> file, const std::string& name);
ImageRecord* ReadSgiFile(const std::string& path);

}  // namespace qv
