#pragma once

namespace pg {

// Whether the processor runs AVX2 instructions (kernels built for AVX2 are
// used only then).
inline bool CpuHasAVX2() {
#if defined(__x86_64__) && defined(__GNUC__)
  static const bool have = __builtin_cpu_supports("avx2");
  return have;
#else
  return false;
#endif
}

// Whether the processor has fused multiply-add.
inline bool CpuHasFMA() {
#if defined(__x86_64__) && defined(__GNUC__)
  static const bool have = __builtin_cpu_supports("fma");
  return have;
#else
  return false;
#endif
}

} // namespace pg
