// libFuzzer target for film strip files, whole and one frame as an image.
#include "fuzz/anim_fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qv::fuzz::FuzzFilm(data, size);
  return 0;
}
