// libFuzzer target for AVI files: one frame, chosen by the input, as an image.
#include "fuzz/animation_fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qv::fuzz::FuzzAvi(data, size);
  return 0;
}
