#include "still_fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static bool ready = (qv::fuzz::QuietProgram(), true);
  (void)ready;
  qv::fuzz::FuzzGif(data, size);
  return 0;
}
