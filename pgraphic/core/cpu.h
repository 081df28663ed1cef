#pragma once

namespace pg {

// What the processor offers beyond the baseline; kernels built for these
// instruction sets are used only where it has them.
struct TCpuFeatures {
  bool AVX2 = false;
  bool FMA = false;  // fused multiply-add
};

inline const TCpuFeatures& CpuFeatures() {
  static const TCpuFeatures features = [] {
    TCpuFeatures f;
#if defined(__x86_64__) && defined(__GNUC__)
    f.AVX2 = __builtin_cpu_supports("avx2");
    f.FMA = __builtin_cpu_supports("fma");
#endif
    return f;
  }();
  return features;
}

} // namespace pg
