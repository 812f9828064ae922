// What every image writer does last: put the finished file on disk through
// the atomic writer and report a failure in its own words, and refuse a
// picture too large for the format's size fields.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <span>
#include <string>

namespace qv {

struct ImageRecord;

// Writes the file (WriteFileSafely). A file that cannot be created gets the
// writer's own report; a failed write message 26. 0 on success, else 1.
int StoreImageBytes(std::span<const std::uint8_t> bytes, const std::string& path,
                    const std::function<void()>& cannotCreate);
// The same for a file written piece by piece (WriteFileSafelyWith).
int StoreImageWith(const std::function<bool(std::FILE*)>& write, const std::string& path,
                   const std::function<void()>& cannotCreate);

// True (after message 103 saying why) when a side of the image exceeds
// what the format's fields hold.
bool TooLargeFor(const ImageRecord* image, const char* format, int maxSide);

}  // namespace qv
