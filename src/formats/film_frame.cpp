#include "formats/film_frame.h"

#include <cstring>
#include <vector>

#include "base/host.h"
#include "base/messages.h"
#include "base/preferences.h"
#include "base/progress.h"
#include "formats/byte_io.h"
#include "store/image_record.h"

namespace qv {
namespace {

constexpr int kMessageNoImageMemory = 7;
constexpr int kMessageWrongType = 17;
constexpr int kMessageNoHeader = 24;
constexpr int kMessageTruncated = 25;
constexpr int kMessageDamaged = 92;
constexpr std::uint32_t kMaxSide = 1024;
constexpr std::uint32_t kMaxFrames = 4096;
constexpr std::uint64_t kHeaderBytes = 16;

std::uint64_t FrameBytes(const FilmHeader& h) { return std::uint64_t{3} * h.width * h.height; }

// The frame to read, from 0; -1 when the user cancelled.
long ChooseFrame(const FilmHeader& h, const std::string& name) {
  VideoFrameRequest request;
  request.fileName = name;
  request.frames = static_cast<long>(h.frames);
  request.secondsPerFrame = Prefs().animMillis / 1000.0;
  long frame = TheHost().ChooseVideoFrame(request);
  if (frame < 0) return -1;
  return frame >= request.frames ? request.frames - 1 : frame;
}

// Bytes 0, 1 and 2 of every pixel from the red, green and blue planes.
ImageRecord* MakeFrameImage(std::span<const std::uint8_t> planes, const FilmHeader& h, long frame,
                            const std::string& name) {
  if (planes.size() < FrameBytes(h)) {
    ShowMessageFile(kMessageTruncated, name);
    return nullptr;
  }
  const int width = static_cast<int>(h.width);
  const int height = static_cast<int>(h.height);
  ImageRecord* image = CreateImageToFill(width, height, "iflm");
  if (!image) {
    ShowMessage(kMessageNoImageMemory);
    return nullptr;
  }
  if (LockImage(image) != 0) {
    FreeImage(image);
    ShowMessage(kMessageNoImageMemory);
    return nullptr;
  }
  const std::size_t plane = std::size_t{h.width} * h.height;
  const std::uint8_t* red = planes.data();
  const std::uint8_t* green = red + plane;
  const std::uint8_t* blue = green + plane;
  std::size_t k = 0;
  for (int y = 0; y < height; ++y) {
    std::uint8_t* p = PixelAt(image, 0, y);
    for (int x = 0; x < width; ++x, ++k, p += 4) {
      p[0] = red[k];
      p[1] = green[k];
      p[2] = blue[k];
      p[3] = 255;
    }
  }
  UnlockImage(image);
  image->bitDepth = 24;
  image->frameIndex = static_cast<std::uint16_t>(frame);
  std::snprintf(image->format, sizeof image->format, "FiLM");
  return image;
}

}  // namespace

bool ReadFilmHeader(std::span<const std::uint8_t> header, const std::string& name, FilmHeader& out) {
  if (header.size() < kHeaderBytes) {
    ShowMessageFile(kMessageNoHeader, name);
    return false;
  }
  if (std::memcmp(header.data(), "ZFLM", 4) != 0) {
    ShowMessageFile(kMessageWrongType, name);
    return false;
  }
  ByteReader r(header.subspan(4, 12));
  out.width = r.U32LE();
  out.height = r.U32LE();
  out.frames = r.U32LE();
  LogLine("Zelvane film strip:  Width %4ld Height %4ld NFrames %4ld\n", static_cast<long>(out.width),
          static_cast<long>(out.height), static_cast<long>(out.frames));
  if (out.width < 1 || out.width > kMaxSide || out.height < 1 || out.height > kMaxSide || out.frames < 1 ||
      out.frames > kMaxFrames) {
    char reason[200];
    std::snprintf(reason, sizeof reason, "%s: width %u, height %u, frames %u (limits 1..%u, 1..%u)", name.c_str(),
                  out.width, out.height, out.frames, kMaxSide, kMaxFrames);
    ShowMessageWith(kMessageDamaged, reason);
    return false;
  }
  return true;
}

ImageRecord* ReadFilmFrameFile(const std::string& path) {
  LogLine("Reading \"%s\" as a zelvane .FLM\n", path.c_str());
  std::vector<std::uint8_t> header = ReadFileRange(path, 0, kHeaderBytes);
  FilmHeader h;
  if (!ReadFilmHeader(header, path, h)) return nullptr;
  const long frame = ChooseFrame(h, path);
  if (frame < 0) return nullptr;
  const std::uint64_t bytes = FrameBytes(h);
  std::vector<std::uint8_t> planes =
      ReadFileRange(path, kHeaderBytes + static_cast<std::uint64_t>(frame) * bytes, static_cast<std::size_t>(bytes));
  return MakeFrameImage(planes, h, frame, path);
}

ImageRecord* ReadFilmFrame(std::span<const std::uint8_t> file, const std::string& name) {
  LogLine("Reading \"%s\" as a zelvane .FLM\n", name.c_str());
  FilmHeader h;
  if (!ReadFilmHeader(file.first(std::min<std::size_t>(file.size(), kHeaderBytes)), name, h)) return nullptr;
  const long frame = ChooseFrame(h, name);
  if (frame < 0) return nullptr;
  const std::uint64_t bytes = FrameBytes(h);
  const std::uint64_t offset = kHeaderBytes + static_cast<std::uint64_t>(frame) * bytes;
  std::span<const std::uint8_t> planes =
      offset >= file.size() ? std::span<const std::uint8_t>{}
                            : file.subspan(offset, std::min<std::uint64_t>(bytes, file.size() - offset));
  return MakeFrameImage(planes, h, frame, name);
}

}  // namespace qv
