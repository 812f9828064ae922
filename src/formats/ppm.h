// Portable pixmaps in their raw byte form ("P6").
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace qv {

struct ImageRecord;

// Reads a P6 file held in memory; name is the file's name for the messages.
// Returns a new image tagged "ippm" (format "PPM", 24 bits), unlocked, or
// null after a message. Header comments and runs of blanks are read as the
// published format has them; samples of 2 bytes (maximum above 255) are
// scaled to one byte.
ImageRecord* ReadPpm(std::span<const std::uint8_t> file, const std::string& name);
ImageRecord* ReadPpmFile(const std::string& path);

}  // namespace qv
