// QVldPNG: the PNG loader library, on libpng. Reads every colour type and
// depth (16-bit samples scaled to 8, palettes and grays widened, tRNS as
// alpha, Adam7 interlacing), the resolution (pHYs) and the "Author" and
// "Comment" texts; writes 8-bit RGB or RGBA at zlib level 6 or stored.
#include <png.h>
#include <strings.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "formats/loader_api.h"
#include "formats/plausible_image.h"
#include "loader_common.h"
#include "store/image_record.h"

namespace {

constexpr int kMessageCannotOpenImage = 6;
constexpr int kMessageWriteProblem = 26;
constexpr double kMetresPerInch = 0.0254;
constexpr std::size_t kAnnotationMin = 324;
// Deflate expands one byte into at most 1032.
constexpr std::int64_t kDeflateRatio = 1032;
constexpr png_alloc_size_t kLargestChunk = 8 << 20;

struct MemoryInput {
  const unsigned char* data;
  std::size_t size;
  std::size_t pos;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t count) {
  auto* in = static_cast<MemoryInput*>(png_get_io_ptr(png));
  if (in->size - in->pos < count) png_error(png, "truncated");
  std::memcpy(out, in->data + in->pos, count);
  in->pos += count;
}

[[noreturn]] void OnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void OnWarning(png_structp, png_const_charp) {}

// What a read found besides the pixels; plain data, so it may live across
// libpng's jumps.
struct ReadState {
  qv::ImageRecord* image = nullptr;
  bool progressOn = false;
};

// Everything that may jump stays in here; its caller owns the buffers.
bool Decode(png_structp png, png_infop info, MemoryInput& input, ReadState& state, QvProgressBeginFn begin,
            QvProgressStepFn step, QvCreateImageFn create, QvAllocateFn allocate, std::vector<png_bytep>& rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_read_fn(png, &input, ReadFromMemory);
  png_set_user_limits(png, 65535, 65535);
  // Compressed texts and profiles are inflated whole: no larger than this.
  png_set_chunk_malloc_max(png, kLargestChunk);
  png_read_info(png, info);
  png_uint_32 width = 0, height = 0;
  int bitDepth = 0, colourType = 0, interlace = 0;
  png_get_IHDR(png, info, &width, &height, &bitDepth, &colourType, &interlace, nullptr, nullptr);
  const int channels = png_get_channels(png, info);
  qv::ImageLimits limits;
  limits.pixelsPerByte = std::max<std::int64_t>(1, kDeflateRatio * 8 / (bitDepth * channels));
  limits.freePixels = std::int64_t{16} << 20;
  if (!qv::PlausibleImage(width, height, input.size, limits).empty()) return false;
  const bool alpha = (colourType & PNG_COLOR_MASK_ALPHA) != 0 || png_get_valid(png, info, PNG_INFO_tRNS);

  png_set_expand(png);
  if (bitDepth == 16) png_set_scale_16(png);
  if (!(colourType & PNG_COLOR_MASK_COLOR)) png_set_gray_to_rgb(png);
  if (!alpha) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != std::size_t{4} * width) return false;

  state.image = create(static_cast<int>(width), static_cast<int>(height), "ipng");
  if (!state.image) return false;
  rows.resize(height);
  for (png_uint_32 y = 0; y < height; ++y) rows[y] = qv::PixelAt(state.image, 0, static_cast<int>(y));
  begin("Reading PNG", static_cast<int>(height) * passes, 1);
  state.progressOn = true;
  for (int pass = 0; pass < passes; ++pass)
    for (png_uint_32 y = 0; y < height; ++y) {
      png_read_row(png, rows[y], nullptr);
      if (y % 16 == 0) step(static_cast<int>(pass * height + y));
    }
  png_read_end(png, info);

  qv::ImageRecord* image = state.image;
  image->hasAlpha = alpha ? 1 : 0;
  image->bitDepth = static_cast<std::uint16_t>(bitDepth * channels);
  png_uint_32 xppm = 0, yppm = 0;
  int unit = 0;
  if (png_get_pHYs(png, info, &xppm, &yppm, &unit) && unit == PNG_RESOLUTION_METER && xppm && yppm) {
    image->dpiXNum = static_cast<std::int32_t>(std::lround(xppm * kMetresPerInch));
    image->dpiYNum = static_cast<std::int32_t>(std::lround(yppm * kMetresPerInch));
    image->dpiXNum = std::max(image->dpiXNum, 1);
    image->dpiYNum = std::max(image->dpiYNum, 1);
    image->dpiXDen = image->dpiYDen = 1;
  }
  png_textp texts = nullptr;
  int count = png_get_text(png, info, &texts, nullptr);
  for (int i = 0; i < count; ++i) {
    const char* key = texts[i].key;
    const char* text = texts[i].text ? texts[i].text : "";
    // Some writers spell the keywords in lower case.
    if (strcasecmp(key, "Author") == 0) {
      std::snprintf(image->author, sizeof image->author, "%s", text);
    } else if (strcasecmp(key, "Comment") == 0 && !image->annotation) {
      std::size_t length = std::strlen(text);
      auto* place =
          static_cast<char*>(allocate(static_cast<std::int64_t>(std::max(length + 1, kAnnotationMin)), "Iann"));
      if (place) {
        std::memcpy(place, text, length + 1);
        image->annotation = place;
      }
    }
  }
  return true;
}

struct WriteState {
  std::FILE* file = nullptr;
};

bool Encode(png_structp png, png_infop info, qv::ImageRecord* image, bool alpha, bool compress,
            std::vector<png_text>& texts, std::vector<unsigned char>& row, QvProgressStepFn step, WriteState& state) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, state.file);
  const auto width = static_cast<png_uint_32>(image->width), height = static_cast<png_uint_32>(image->height);
  png_set_IHDR(png, info, width, height, 8, alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_compression_level(png, compress ? 6 : 0);
  if (!compress) png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
  if (image->dpiXDen > 0 && image->dpiYDen > 0 && image->dpiXNum > 0 && image->dpiYNum > 0) {
    auto ppm = [](std::int32_t num, std::int32_t den) {
      return static_cast<png_uint_32>(std::lround(static_cast<double>(num) / den / kMetresPerInch));
    };
    png_set_pHYs(png, info, ppm(image->dpiXNum, image->dpiXDen), ppm(image->dpiYNum, image->dpiYDen),
                 PNG_RESOLUTION_METER);
  }
  if (!texts.empty()) png_set_text(png, info, texts.data(), static_cast<int>(texts.size()));
  png_write_info(png, info);
  for (png_uint_32 y = 0; y < height; ++y) {
    const std::uint8_t* p = qv::PixelAt(image, 0, static_cast<int>(y));
    if (alpha) {
      png_write_row(png, p);
    } else {
      for (png_uint_32 x = 0; x < width; ++x) std::memcpy(&row[3 * x], p + 4 * x, 3);
      png_write_row(png, row.data());
    }
    if (y % 16 == 0) step(static_cast<int>(y));
  }
  png_write_end(png, info);
  return true;
}

// Every chunk up to IEND lies within the file. libpng allocates a chunk's
// buffer from its claimed length before reading it, so a damaged length
// would cost gigabytes; the whole file is at hand to check them first.
bool ChunksFitTheFile(const std::vector<unsigned char>& file) {
  std::size_t at = 8;
  while (file.size() - at >= 12) {
    const std::uint32_t length = (std::uint32_t{file[at]} << 24) | (std::uint32_t{file[at + 1]} << 16) |
                                 (std::uint32_t{file[at + 2]} << 8) | file[at + 3];
    if (length > 0x7FFFFFFFu || length > file.size() - at - 12) return false;
    if (std::memcmp(&file[at + 4], "IEND", 4) == 0) return true;
    at += 12 + std::size_t{length};
  }
  return false;
}

// The PNG file held in memory; the entry below and the fuzzer share it.
qv::ImageRecord* LoadPngMemory(const std::vector<unsigned char>& file, const char* path, QvProgressBeginFn begin,
                               QvProgressStepFn step, QvProgressEndFn end, QvCreateImageFn create,
                               QvAllocateFn allocate, QvMessageFn message) {
  if (file.size() < 8 || png_sig_cmp(file.data(), 0, 8) != 0 || !ChunksFitTheFile(file)) {
    message(kMessageCannotOpenImage, 1, path);
    return nullptr;
  }
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    message(kMessageCannotOpenImage, 1, path);
    return nullptr;
  }
  MemoryInput input{file.data(), file.size(), 0};
  ReadState state;
  std::vector<png_bytep> rows;
  bool ok = Decode(png, info, input, state, begin, step, create, allocate, rows);
  if (state.progressOn) end();
  png_destroy_read_struct(&png, &info, nullptr);
  if (!ok) {
    message(kMessageCannotOpenImage, 1, path);
    return nullptr;  // the program frees an image it made
  }
  return state.image;
}

}  // namespace

QV_LOADER_EXPORT qv::ImageRecord* ImageLoad(const char* path, void*, const QvLoaderInstance*,
                                            QvProgressBeginFn begin, QvProgressNestedFn, QvProgressStepFn step,
                                            QvProgressEndFn end, QvCreateImageFn create, QvAllocateFn allocate,
                                            QvFreeFn, QvMessageFn message) {
  std::vector<unsigned char> file;
  if (!qvld::ReadWhole(path, file)) {
    message(kMessageCannotOpenImage, 1, path);
    return nullptr;
  }
  return LoadPngMemory(file, path, begin, step, end, create, allocate, message);
}

// Option bit 0: compress (zlib level 6, else stored); bit 1: keep alpha.
QV_LOADER_EXPORT int ImageSave(const char* path, qv::ImageRecord* image, const QvLoaderInstance*, void*, int option,
                               QvProgressBeginFn begin, QvProgressNestedFn, QvProgressStepFn step, QvProgressEndFn end,
                               QvAllocateFn, QvFreeFn, QvMessageFn message) {
  if (!image || !image->pixels) return 1;
  const bool alpha = (option & qv::kTiffOptionAlpha) != 0;
  const bool compress = (option & qv::kTiffOptionCompress) != 0;
  std::string author(image->author, strnlen(image->author, sizeof image->author));
  std::string comment = image->annotation ? image->annotation : "";
  std::vector<png_text> texts;
  auto add = [&texts](const char* key, std::string& text) {
    if (text.empty()) return;
    png_text t{};
    t.compression = PNG_TEXT_COMPRESSION_NONE;
    t.key = const_cast<char*>(key);
    t.text = text.data();
    t.text_length = text.size();
    texts.push_back(t);
  };
  add("Author", author);
  add("Comment", comment);

  std::string temp = qvld::TempPathFor(path);
  WriteState state;
  state.file = std::fopen(temp.c_str(), "wb");
  if (!state.file) {
    message(kMessageWriteProblem, 1, path);
    return 1;
  }
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  std::vector<unsigned char> row(std::size_t{3} * static_cast<std::size_t>(image->width));
  begin("Saving PNG", image->height, 1);
  bool ok = info && Encode(png, info, image, alpha, compress, texts, row, step, state);
  end();
  png_destroy_write_struct(&png, &info);
  ok = std::fclose(state.file) == 0 && ok;
  if (!qvld::Commit(temp, path, ok)) {
    message(kMessageWriteProblem, 1, path);
    return 1;
  }
  return 0;
}
