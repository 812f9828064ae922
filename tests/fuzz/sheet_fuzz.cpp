// libFuzzer target for the exposure sheet's file reader.
#include "fuzz/anim_fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qv::fuzz::FuzzSheet(data, size);
  return 0;
}
