// libFuzzer target for the area selection and I-shape readers.
#include "fuzz/anim_fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qv::fuzz::FuzzAreaFile(data, size);
  return 0;
}
