// The PNG loader library's reader, compiled in with libpng, on any bytes.
#include "fuzz_targets.h"
#include "png/qvld_png.cpp"

namespace {

qv::ImageRecord* made = nullptr;

void Begin(const char*, int, int) {}
int Step(int) { return 0; }
void End() {}
qv::ImageRecord* Create(int width, int height, const char* tag) { return made = qv::CreateLockedImage(width, height, tag); }
void* Allocate(std::int64_t bytes, const char* tag) { return qv::AllocReal(bytes, tag); }
int Message(int, int, const char*) { return 1; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static bool ready = (qv::fuzz::QuietProgram(), true);
  (void)ready;
  made = nullptr;
  std::vector<unsigned char> file(data, data + size);
  qv::ImageRecord* image = LoadPngMemory(file, "fuzz.png", Begin, Step, End, Create, Allocate, Message);
  if (image) {
    volatile std::uint8_t sink = image->pixels[(std::size_t{4} * image->width * image->height) - 1];
    (void)sink;
  }
  // As the program does: what the library made and did not hand back is freed.
  qv::FreeImage(made);
  if (qv::TheProgram().memory.placesInUse != 0) __builtin_trap();
  return 0;
}
