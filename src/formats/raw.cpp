#include "formats/raw.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "base/host.h"
#include "base/messages.h"
#include "base/progress.h"
#include "formats/byte_io.h"
#include "formats/formats_state.h"
#include "store/image_record.h"

namespace qv {
namespace {

constexpr int kMessageCannotOpen = 6;
constexpr int kMessageNoImageMemory = 7;
constexpr std::size_t kIRawHeader = 12;
constexpr int kIRawProgressPixels = 10;

// The plain box of the I-RAW reader, titled "Error".
void ShowErrorBox(const std::string& text) {
  LogLine("MESSAGE: \"%s\"\n", text.c_str());
  MessageRequest r;
  r.kind = MessageKind::Plain;
  r.dialog = "Error";
  r.title = "Error";
  r.text = text;
  r.buttons = {"&OK"};
  r.results = {1};
  r.closeResult = 1;
  TheHost().RunMessage(r);
}

int BitsPerPixel(int layout) { return layout == kRawGray || layout == kRawFiles ? 8 : 24; }

}  // namespace

RawSize ProposeRawSize(std::uint64_t fileSize, std::int64_t start, int layout) {
  if (start < 0 || std::uint64_t(start) >= fileSize) return {1, 1};
  const std::uint64_t p = (fileSize - std::uint64_t(start)) * 8 / BitsPerPixel(layout);
  if (p == 307200) return {640, 480};
  if (p == 64000) return {320, 200};
  if (p == 786432) return {1024, 768};
  if (p == 0) return {1, 1};
  const double side = std::sqrt(double(p) * 4 / 3) + 0.00001;
  const std::uint64_t width = std::clamp<std::uint64_t>(static_cast<std::uint64_t>(side), 1, INT32_MAX);
  const std::uint64_t height = std::clamp<std::uint64_t>(p / width, 1, INT32_MAX);
  return {static_cast<int>(width), static_cast<int>(height)};
}

std::string RawChannelPath(const std::string& path, const std::string& extension) {
  std::filesystem::path p(path);
  std::string ext = extension;
  if (!ext.empty() && ext[0] != '.') ext = "." + ext;
  p.replace_extension(ext);
  return p.string();
}

ImageRecord* DecodeRaw(const RawImageRequest& r, std::span<const std::uint8_t> data, std::span<const std::uint8_t> green,
                       std::span<const std::uint8_t> blue) {
  if (r.width < 1 || r.height < 1 || r.layout < 0 || r.layout >= kRawLayoutCount) return nullptr;
  ImageRecord* image = CreateImage(r.width, r.height, "raw");
  if (!image || LockImage(image) != 0) {
    FreeImage(image);
    ShowMessageFile(kMessageNoImageMemory, r.fileName);
    return nullptr;
  }
  const std::size_t width = std::size_t(r.width), height = std::size_t(r.height);
  const std::size_t plane = width * height;
  BeginProgress("Loading RAW", r.height);
  // Rows are read while the data lasts; a short file keeps what it gave.
  for (std::size_t y = 0; y < height; ++y) {
    std::uint8_t* p = PixelAt(image, 0, static_cast<int>(y));
    const std::size_t row = y * width;
    switch (r.layout) {
      case kRawGray:
        for (std::size_t x = 0; x < width && row + x < data.size(); ++x) p[4 * x] = p[4 * x + 1] = p[4 * x + 2] = data[row + x];
        break;
      case kRawInterleaved:
        for (std::size_t x = 0; x < width && 3 * (row + x) + 2 < data.size(); ++x)
          for (int c = 0; c < 3; ++c) p[4 * x + c] = data[3 * (row + x) + c];
        break;
      case kRawBlocks:
        for (int c = 0; c < 3; ++c) {
          const std::size_t at = plane * c + row;
          for (std::size_t x = 0; x < width && at + x < data.size(); ++x) p[4 * x + c] = data[at + x];
        }
        break;
      default: {
        const std::span<const std::uint8_t> files[3] = {data, green, blue};
        for (int c = 0; c < 3; ++c)
          for (std::size_t x = 0; x < width && row + x < files[c].size(); ++x) p[4 * x + c] = files[c][row + x];
        break;
      }
    }
    Progress(static_cast<int>(y));
  }
  EndProgress();
  image->bitDepth = r.layout == kRawGray ? 8 : 24;
  std::snprintf(image->format, sizeof image->format, "RAW");
  UnlockImage(image);
  return image;
}

ImageRecord* ReadRaw(const std::string& path, const RawImageRequest& r) {
  std::error_code ec;
  const std::uint64_t size = std::filesystem::file_size(path, ec);
  if (ec) {
    ShowMessageFile(kMessageCannotOpen, path);
    return nullptr;
  }
  if (r.start < 0 || std::uint64_t(r.start) >= size) {
    char detail[96];
    std::snprintf(detail, sizeof detail, "starting byte %lld, file size %llu", static_cast<long long>(r.start),
                  static_cast<unsigned long long>(size));
    ShowNote("The starting byte is at or past the end of the RAW file.", detail);
    return nullptr;
  }
  if (r.width < 1 || r.height < 1) return nullptr;
  // Only the bytes the picture needs are read, and no more than the file has.
  const std::uint64_t pixels = std::uint64_t(r.width) * std::uint64_t(r.height);
  const std::uint64_t wanted = pixels * (r.layout == kRawInterleaved || r.layout == kRawBlocks ? 3 : 1);
  const std::size_t count = static_cast<std::size_t>(std::min<std::uint64_t>(wanted, size - std::uint64_t(r.start)));
  std::vector<std::uint8_t> data = ReadFileRange(path, std::uint64_t(r.start), count), green, blue;
  if (r.layout == kRawFiles) {
    for (auto [extension, bytes] : {std::pair{&r.greenExtension, &green}, std::pair{&r.blueExtension, &blue}}) {
      std::string other = RawChannelPath(path, *extension);
      std::uint64_t otherSize = std::filesystem::file_size(other, ec);
      if (ec) {
        // The picture keeps what the other files gave.
        ShowMessageFile(kMessageCannotOpen, other);
        continue;
      }
      if (std::uint64_t(r.start) < otherSize)
        *bytes = ReadFileRange(other, std::uint64_t(r.start),
                               static_cast<std::size_t>(std::min<std::uint64_t>(pixels, otherSize - r.start)));
    }
  }
  if (data.size() < count) LogLine("RAW file read short: %zu of %zu bytes\n", data.size(), count);
  return DecodeRaw(r, data, green, blue);
}

ImageRecord* ReadRawFile(const std::string& path) {
  std::error_code ec;
  const std::uint64_t size = std::filesystem::file_size(path, ec);
  if (ec) {
    ShowMessageFile(kMessageCannotOpen, path);
    return nullptr;
  }
  RawChoices& last = FileLoads().raw;
  RawImageRequest request;
  request.fileName = path;
  request.fileSize = size;
  request.start = last.start;
  request.layout = last.layout;
  request.greenExtension = last.greenExtension;
  request.blueExtension = last.blueExtension;
  RawSize proposal = ProposeRawSize(size, request.start, request.layout);
  request.width = proposal.width;
  request.height = proposal.height;
  if (!TheHost().EditRawImage(request)) return nullptr;
  request.layout = std::clamp(request.layout, 0, kRawLayoutCount - 1);
  last.start = request.start;
  last.layout = request.layout;
  last.greenExtension = request.greenExtension;
  last.blueExtension = request.blueExtension;
  LogLine("RAW image: %d x %d from byte %lld, layout %d\n", request.width, request.height,
          static_cast<long long>(request.start), request.layout);
  return ReadRaw(path, request);
}

ImageRecord* ReadIRaw(std::span<const std::uint8_t> file) {
  if (file.size() < kIRawHeader) {
    ShowErrorBox("I-Raw file damaged");
    return nullptr;
  }
  ByteReader in(file);
  in.Skip(4);
  const std::uint64_t width = in.U32LE(), height = in.U32LE();
  // Each side is below 2^32, so the product cannot wrap.
  if (width < 1 || height < 1 || width * height > (file.size() - kIRawHeader) / 3) {
    ShowErrorBox("I-Raw image damaged");
    return nullptr;
  }
  const int w = static_cast<int>(width), h = static_cast<int>(height);
  const int steps = static_cast<int>(std::min<std::uint64_t>(width * height / kIRawProgressPixels, INT32_MAX));
  BeginProgress("I-RAW", std::max(steps, 1));
  ImageRecord* image = CreateImage(w, h, "iirw");
  if (!image || LockImage(image) != 0) {
    EndProgress();
    FreeImage(image);
    ShowErrorBox("Not enough real memory for image");
    return nullptr;
  }
  const std::uint8_t* s = file.data() + kIRawHeader;
  for (int y = 0; y < h; ++y) {
    std::uint8_t* p = PixelAt(image, 0, y);
    for (int x = 0; x < w; ++x, p += 4, s += 3) p[0] = s[0], p[1] = s[1], p[2] = s[2];
    Progress(static_cast<int>(std::uint64_t(y + 1) * width / kIRawProgressPixels));
  }
  EndProgress();
  image->bitDepth = 24;
  UnlockImage(image);
  return image;
}

ImageRecord* ReadIRawFile(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  if (!ReadFileBytes(path, bytes)) {
    ShowMessageFile(kMessageCannotOpen, path);
    return nullptr;
  }
  return ReadIRaw(bytes);
}

}  // namespace qv
