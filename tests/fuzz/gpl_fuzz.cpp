// libFuzzer target for the GIMP palette reader.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "extlib/gpl_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  PaletteRecord palette{};
  if (qvpal::ParseGpl(std::string_view(reinterpret_cast<const char*>(data), size), palette)) {
    const int n = qvpal::EntryCount(palette);
    if (n < 1 || n > QVPAL_MAX_ENTRIES) __builtin_trap();
    (void)qvpal::FormatGpl(palette);
  }
  return 0;
}
