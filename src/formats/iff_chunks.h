// The chunk ids of IFF pictures, shared by their reader and their writers.
#pragma once

#include <cstdint>

namespace qv::iff_chunks {

inline constexpr std::uint32_t Id(const char (&s)[5]) {
  return (std::uint32_t(std::uint8_t(s[0])) << 24) | (std::uint32_t(std::uint8_t(s[1])) << 16) |
         (std::uint32_t(std::uint8_t(s[2])) << 8) | std::uint32_t(std::uint8_t(s[3]));
}

inline constexpr std::uint32_t kForm = Id("FORM"), kList = Id("LIST"), kCat = Id("CAT "), kIlbm = Id("ILBM"),
                               kPbm = Id("PBM "), kTrim = Id("TRIM"), kBmhd = Id("BMHD"), kCmap = Id("CMAP"),
                               kCamg = Id("CAMG"), kAnno = Id("ANNO"), kAuth = Id("AUTH"), kDpi = Id("DPI "),
                               kPltp = Id("PLTP"), kRgbt = Id("RGBT"), kMono = Id("MONO"), kBody = Id("BODY");

inline constexpr int kMaxSide = 65535;

}  // namespace qv::iff_chunks
