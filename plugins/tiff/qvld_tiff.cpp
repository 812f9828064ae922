// QVldTIFF: the TIFF loader library, on libtiff. Reads any layout libtiff
// turns into RGBA (palette, grey, RGB, with alpha, 8 or 16 bits per sample,
// strips or tiles, every compression it decodes); writes 8-bit RGB or RGBA.
#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "formats/loader_api.h"
#include "loader_common.h"
#include "store/image_record.h"

namespace {

constexpr int kMessageCannotOpenImage = 6;
constexpr int kMessageWriteProblem = 26;
constexpr int kMessageLzw = 101;

// libtiff reads through these from a file held in memory, starting at the
// TIFF header (which a 128-byte Macintosh header may precede).
struct MemoryFile {
  const unsigned char* data;
  toff_t size;
  toff_t pos;
};

tsize_t MemRead(thandle_t h, tdata_t buf, tsize_t n) {
  auto* m = static_cast<MemoryFile*>(h);
  toff_t left = m->pos < m->size ? m->size - m->pos : 0;
  toff_t count = std::min<toff_t>(left, static_cast<toff_t>(n));
  std::memcpy(buf, m->data + m->pos, count);
  m->pos += count;
  return static_cast<tsize_t>(count);
}
tsize_t MemWrite(thandle_t, tdata_t, tsize_t) { return 0; }
toff_t MemSeek(thandle_t h, toff_t off, int whence) {
  auto* m = static_cast<MemoryFile*>(h);
  toff_t base = whence == SEEK_CUR ? m->pos : whence == SEEK_END ? m->size : 0;
  m->pos = base + off;
  return m->pos;
}
int MemClose(thandle_t) { return 0; }
toff_t MemSize(thandle_t h) { return static_cast<MemoryFile*>(h)->size; }
int MemMap(thandle_t, tdata_t*, toff_t*) { return 0; }
void MemUnmap(thandle_t, tdata_t, toff_t) {}

void Quiet(const char*, const char*, va_list) {}

bool TiffAt(const std::vector<unsigned char>& file, std::size_t at) {
  return file.size() >= at + 4 &&
         ((file[at] == 'I' && file[at + 1] == 'I') || (file[at] == 'M' && file[at + 1] == 'M'));
}

// Plain 8-bit RGB or RGBA in strips is read as it is stored, so that
// straight alpha stays exact; everything else goes through libtiff's RGBA
// conversion, whose result is premultiplied and is turned back here.
bool ReadPixels(TIFF* tif, qv::ImageRecord* image, std::uint32_t width, std::uint32_t height, std::uint16_t bits,
                std::uint16_t samples, std::uint16_t extraCount, QvProgressStepFn step) {
  std::uint16_t photometric = 0, planar = PLANARCONFIG_CONTIG;
  TIFFGetFieldDefaulted(tif, TIFFTAG_PHOTOMETRIC, &photometric);
  TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
  if (bits == 8 && (samples == 3 || samples == 4) && photometric == PHOTOMETRIC_RGB && planar == PLANARCONFIG_CONTIG &&
      !TIFFIsTiled(tif) && TIFFScanlineSize(tif) == static_cast<tmsize_t>(width) * samples) {
    std::vector<unsigned char> row(static_cast<std::size_t>(width) * samples);
    for (std::uint32_t y = 0; y < height; ++y) {
      if (TIFFReadScanline(tif, row.data(), y, 0) < 0) return false;
      std::uint8_t* out = qv::PixelAt(image, 0, static_cast<int>(y));
      for (std::uint32_t x = 0; x < width; ++x, out += 4) {
        std::memcpy(out, &row[static_cast<std::size_t>(x) * samples], 3);
        out[3] = samples == 4 ? row[static_cast<std::size_t>(x) * 4 + 3] : 255;
      }
      if (y % 8 == 0) step(static_cast<int>(y));
    }
    return true;
  }
  // The RGBA raster is exactly the record's layout: R, G, B, A bytes, rows
  // top to bottom, one after another.
  if (!TIFFReadRGBAImageOriented(tif, width, height, reinterpret_cast<std::uint32_t*>(image->pixels),
                                 ORIENTATION_TOPLEFT, 0))
    return false;
  if (extraCount > 0) {
    std::uint8_t* p = image->pixels;
    for (std::uint64_t i = 0, n = std::uint64_t{width} * height; i < n; ++i, p += 4)
      if (p[3] != 0 && p[3] != 255)
        for (int c = 0; c < 3; ++c) p[c] = static_cast<std::uint8_t>(std::min(255, (p[c] * 255 + p[3] / 2) / p[3]));
  }
  step(static_cast<int>(height));
  return true;
}

}  // namespace

QV_LOADER_EXPORT qv::ImageRecord* ImageLoad(const char* path, void*, const QvLoaderInstance* instance,
                                            QvProgressBeginFn begin, QvProgressNestedFn, QvProgressStepFn step,
                                            QvProgressEndFn end, QvCreateImageFn create, QvAllocateFn,
                                            QvFreeFn, QvMessageFn message) {
  TIFFSetErrorHandler(Quiet);
  TIFFSetWarningHandler(Quiet);
  std::vector<unsigned char> file;
  if (!qvld::ReadWhole(path, file)) {
    message(kMessageCannotOpenImage, 1, path);
    return nullptr;
  }
  std::size_t start = TiffAt(file, 0) ? 0 : 128;
  if (!TiffAt(file, start)) {
    message(kMessageCannotOpenImage, 1, path);
    return nullptr;
  }
  MemoryFile mem{file.data() + start, file.size() - start, 0};
  TIFF* tif = TIFFClientOpen(path, "rm", &mem, MemRead, MemWrite, MemSeek, MemClose, MemSize, MemMap, MemUnmap);
  if (!tif) {
    message(kMessageCannotOpenImage, 1, path);
    return nullptr;
  }
  std::uint32_t width = 0, height = 0;
  std::uint16_t compression = COMPRESSION_NONE, bits = 8, samples = 1, extraCount = 0;
  std::uint16_t* extra = nullptr;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
  TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extra);

  qv::ImageRecord* image = nullptr;
  if (compression == COMPRESSION_LZW && !(instance && instance->chopMem)) {
    TIFFClose(tif);
    message(kMessageLzw, 1, path);
    return nullptr;
  }
  if (!qvld::PlausiblePixels(width, height, file.size())) {
    TIFFClose(tif);
    message(kMessageCannotOpenImage, 1, path);
    return nullptr;
  }
  image = create(static_cast<int>(width), static_cast<int>(height), "itif");
  if (!image) {
    TIFFClose(tif);
    return nullptr;
  }
  begin("Reading TIFF", static_cast<int>(height), 1);
  bool ok = ReadPixels(tif, image, width, height, bits, samples, extraCount, step);
  end();
  TIFFClose(tif);
  if (!ok) {
    message(kMessageCannotOpenImage, 1, path);
    return nullptr;  // the program frees the image it made
  }
  image->hasAlpha = extraCount > 0 ? 1 : 0;
  image->bitDepth = static_cast<std::uint16_t>(bits * samples);
  return image;
}

QV_LOADER_EXPORT int ImageSave(const char* path, qv::ImageRecord* image, const QvLoaderInstance* instance, void*,
                               int option, QvProgressBeginFn begin, QvProgressNestedFn, QvProgressStepFn step,
                               QvProgressEndFn end, QvAllocateFn, QvFreeFn, QvMessageFn message) {
  TIFFSetErrorHandler(Quiet);
  TIFFSetWarningHandler(Quiet);
  if (!image || !image->pixels) return 1;
  const bool alpha = (option & qv::kTiffOptionAlpha) != 0;
  const bool lzw = (option & qv::kTiffOptionCompress) != 0 && instance && instance->chopMem;
  const int samples = alpha ? 4 : 3;
  std::string temp = qvld::TempPathFor(path);
  TIFF* tif = TIFFOpen(temp.c_str(), "w");
  if (!tif) {
    message(kMessageWriteProblem, 1, path);
    return 1;
  }
  const auto width = static_cast<std::uint32_t>(image->width), height = static_cast<std::uint32_t>(image->height);
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, samples);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, lzw ? COMPRESSION_LZW : COMPRESSION_NONE);
  if (alpha) {
    std::uint16_t kind = EXTRASAMPLE_UNASSALPHA;
    TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &kind);
  }
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));
  if (image->dpiXDen > 0 && image->dpiYDen > 0) {
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, static_cast<float>(image->dpiXNum) / image->dpiXDen);
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<float>(image->dpiYNum) / image->dpiYDen);
  }
  begin("Saving TIFF", static_cast<int>(height), 1);
  std::vector<unsigned char> row(static_cast<std::size_t>(width) * samples);
  bool ok = true;
  for (std::uint32_t y = 0; y < height && ok; ++y) {
    const std::uint8_t* p = qv::PixelAt(image, 0, static_cast<int>(y));
    for (std::uint32_t x = 0; x < width; ++x)
      for (int c = 0; c < samples; ++c) row[x * samples + c] = p[x * 4 + c];
    ok = TIFFWriteScanline(tif, row.data(), y, 0) >= 0;
    if (y % 8 == 0) step(static_cast<int>(y));
  }
  end();
  ok = TIFFWriteDirectory(tif) && ok;
  TIFFClose(tif);
  if (!qvld::Commit(temp, path, ok)) {
    message(kMessageWriteProblem, 1, path);
    return 1;
  }
  return 0;
}
