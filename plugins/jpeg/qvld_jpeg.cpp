// QVLDJPEG: the JPEG/JFIF loader library, on libjpeg-turbo. Reads baseline
// and progressive files, grey, colour and Adobe CMYK; writes colour at the
// quality the save option carries.
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "formats/loader_api.h"
#include "loader_common.h"
#include "store/image_record.h"

namespace {

constexpr int kMessageCannotOpenImage = 6;
constexpr int kMessageWriteProblem = 26;

struct ErrorTrap {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

void OnError(j_common_ptr info) { std::longjmp(reinterpret_cast<ErrorTrap*>(info->err)->jump, 1); }
void OnMessage(j_common_ptr) {}

// Where the stream starts: at 0, behind a 128-byte header, or behind the
// 2780-byte header some Macintosh programs write.
std::size_t StreamStart(const std::vector<unsigned char>& file) {
  for (std::size_t at : {std::size_t{0}, std::size_t{128}, std::size_t{2780}})
    if (file.size() > at + 2 && file[at] == 0xFF && file[at + 1] == 0xD8) return at;
  return 0;
}

}  // namespace

QV_LOADER_EXPORT qv::ImageRecord* ImageLoad(const char* path, void*, const QvLoaderInstance*,
                                            QvProgressBeginFn begin, QvProgressNestedFn, QvProgressStepFn step,
                                            QvProgressEndFn end, QvCreateImageFn create, QvAllocateFn, QvFreeFn,
                                            QvMessageFn message) {
  std::vector<unsigned char> file;
  if (!qvld::ReadWhole(path, file) || file.size() < 4) {
    message(kMessageCannotOpenImage, 1, path);
    return nullptr;
  }
  const volatile std::size_t start = StreamStart(file);
  jpeg_decompress_struct info{};
  ErrorTrap trap{};
  info.err = jpeg_std_error(&trap.pub);
  trap.pub.error_exit = OnError;
  trap.pub.output_message = OnMessage;
  // Only plain old data lives across the jump.
  qv::ImageRecord* volatile image = nullptr;
  volatile bool progressOn = false;
  std::vector<unsigned char> row;
  if (setjmp(trap.jump)) {
    if (progressOn) end();
    jpeg_destroy_decompress(&info);
    message(kMessageCannotOpenImage, 1, path);
    return nullptr;  // the program frees the image it made
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, file.data() + start, static_cast<unsigned long>(file.size() - start));
  jpeg_read_header(&info, TRUE);
  bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
  info.out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
  if (!qvld::PlausiblePixels(info.image_width, info.image_height, file.size())) {
    jpeg_destroy_decompress(&info);
    message(kMessageCannotOpenImage, 1, path);
    return nullptr;
  }
  jpeg_start_decompress(&info);
  const int width = static_cast<int>(info.output_width), height = static_cast<int>(info.output_height);
  image = create(width, height, "ijpg");
  if (!image) {
    jpeg_destroy_decompress(&info);
    return nullptr;
  }
  row.resize(static_cast<std::size_t>(width) * info.output_components);
  begin("Reading JPEG", height, 1);
  progressOn = true;
  while (info.output_scanline < info.output_height) {
    JSAMPROW rows[1] = {row.data()};
    int y = static_cast<int>(info.output_scanline);
    jpeg_read_scanlines(&info, rows, 1);
    std::uint8_t* out = qv::PixelAt(image, 0, y);
    for (int x = 0; x < width; ++x, out += 4) {
      if (cmyk) {
        // Adobe writes CMYK inverted: each byte is already 255 - ink.
        const unsigned char* q = &row[static_cast<std::size_t>(x) * 4];
        out[0] = static_cast<std::uint8_t>(q[0] * q[3] / 255);
        out[1] = static_cast<std::uint8_t>(q[1] * q[3] / 255);
        out[2] = static_cast<std::uint8_t>(q[2] * q[3] / 255);
      } else {
        std::memcpy(out, &row[static_cast<std::size_t>(x) * 3], 3);
      }
      out[3] = 255;
    }
    step(y);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  end();
  image->bitDepth = 24;
  return image;
}

QV_LOADER_EXPORT int ImageSave(const char* path, qv::ImageRecord* image, const QvLoaderInstance*, void*,
                               int option, QvProgressBeginFn begin, QvProgressNestedFn, QvProgressStepFn step,
                               QvProgressEndFn end, QvAllocateFn, QvFreeFn, QvMessageFn message) {
  if (!image || !image->pixels) return 1;
  jpeg_compress_struct info{};
  ErrorTrap trap{};
  info.err = jpeg_std_error(&trap.pub);
  trap.pub.error_exit = OnError;
  trap.pub.output_message = OnMessage;
  unsigned char* volatile buffer = nullptr;
  unsigned long size = 0;
  std::vector<unsigned char> row(static_cast<std::size_t>(image->width) * 3);
  if (setjmp(trap.jump)) {
    jpeg_destroy_compress(&info);
    std::free(buffer);
    message(kMessageWriteProblem, 1, path);
    return 1;
  }
  jpeg_create_compress(&info);
  unsigned char* out = nullptr;
  jpeg_mem_dest(&info, &out, &size);
  info.image_width = static_cast<JDIMENSION>(image->width);
  info.image_height = static_cast<JDIMENSION>(image->height);
  info.input_components = 3;
  info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, option < 0 ? 0 : option > 100 ? 100 : option, TRUE);
  if (image->dpiXDen > 0 && image->dpiYDen > 0) {
    info.density_unit = 1;
    info.X_density = static_cast<UINT16>(image->dpiXNum / image->dpiXDen);
    info.Y_density = static_cast<UINT16>(image->dpiYNum / image->dpiYDen);
  }
  jpeg_start_compress(&info, TRUE);
  begin("Saving JPEG", image->height, 1);
  while (info.next_scanline < info.image_height) {
    int y = static_cast<int>(info.next_scanline);
    const std::uint8_t* p = qv::PixelAt(image, 0, y);
    for (int x = 0; x < image->width; ++x) std::memcpy(&row[static_cast<std::size_t>(x) * 3], p + x * 4, 3);
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
    if (y % 8 == 0) step(y);
  }
  jpeg_finish_compress(&info);
  buffer = out;
  end();
  jpeg_destroy_compress(&info);
  std::string temp = qvld::TempPathFor(path);
  std::FILE* f = std::fopen(temp.c_str(), "wb");
  bool ok = f && std::fwrite(buffer, 1, size, f) == size;
  if (f) ok = std::fclose(f) == 0 && ok;
  std::free(buffer);
  if (!qvld::Commit(temp, path, ok)) {
    message(kMessageWriteProblem, 1, path);
    return 1;
  }
  return 0;
}
