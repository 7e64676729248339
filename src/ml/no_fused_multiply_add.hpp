#pragma once
// Included ahead of every file (CMakeLists.txt: -include), so that no multiply-add is fused on
// any target and the models give the same bits on ARM as on x86-64, whose SSE2 packets have no
// fused form.
//
// Eigen's ARM packets fuse pmadd (vfmaq_f64) wherever __ARM_FEATURE_FMA is defined, and on
// AArch64 it always is. Undefining it on the command line does not hold with every compiler:
// <arm_neon.h> changes the target with pragmas, and GCC 14 defines the macro again when it
// restores it. Included here first and the macro dropped after it, <arm_neon.h> is not read
// again (Eigen's own include of it finds it done), so Eigen sees no fused multiply-add.
// ml/models.hpp stops the build should the macro be back by the time Eigen is read.
//
// Eigen's NEON matrix-matrix kernel (gebp_traits in its GeneralBlockPanelKernel.h) calls the
// fused intrinsics below whatever the macro says; they are redefined as a multiply and an add,
// each rounded. Nothing here calls that kernel today; CI counts the fused instructions in the
// ARM binaries and fails on any.
#if defined(__aarch64__)
#include <arm_neon.h>
#undef __ARM_FEATURE_FMA
#define vfmaq_n_f64(c, a, b) vaddq_f64((c), vmulq_n_f64((a), (b)))
#define vfmaq_laneq_f64(c, a, v, lane) vaddq_f64((c), vmulq_laneq_f64((a), (v), (lane)))
#define vfmaq_n_f32(c, a, b) vaddq_f32((c), vmulq_n_f32((a), (b)))
#define vfmaq_laneq_f32(c, a, v, lane) vaddq_f32((c), vmulq_laneq_f32((a), (v), (lane)))
#endif
