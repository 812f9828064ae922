// What the processor offers beyond the build's baseline, asked once: the
// vector paths are picked at run time and give the plain paths' bytes.
#pragma once

namespace qv {

#if defined(__x86_64__) && defined(__GNUC__)
inline bool CpuHasAvx2() {
  static const bool has = __builtin_cpu_supports("avx2");
  return has;
}
inline bool CpuHasAvx512F() {
  static const bool has = __builtin_cpu_supports("avx512f");
  return has;
}
// With the byte and word instructions and the byte permutations.
inline bool CpuHasAvx512Vbmi() {
  static const bool has =
      __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi");
  return has;
}
#else
inline bool CpuHasAvx2() { return false; }
inline bool CpuHasAvx512F() { return false; }
inline bool CpuHasAvx512Vbmi() { return false; }
#endif

}  // namespace qv
