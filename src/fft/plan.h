// FFT plans: everything the transform of one length needs that does not
// depend on the data, shared through a reference-counted cache. Outside
// the FFT a plan is only a handle; its inside is in fft/plan_record.h.
#pragma once

#include <cstdint>

namespace varnel::fft {

struct FftPlan;

// The plan of length n with one reference taken, built if the cache has
// none; null for n < 1 or when any part of the plan cannot be allocated (a
// plan is never handed out half-built, and the cache is then unchanged).
FftPlan* fftPlanCreate(std::int32_t n) noexcept;

// Gives back one reference; the last one unlinks and frees the plan and
// releases its Rader sub-plans. Null is ignored.
void fftPlanRelease(FftPlan* plan) noexcept;

// Transforms. All return kStatusOk, kStatusBadLayout (-1) when n is not the
// plan's length (nothing written), or kStatusNoMemory when the scratch of a
// prime stage (23, 47, or a Rader prime) could not be allocated; the output
// then holds partial results. Lengths without prime stages (powers of two
// among them) never fail once the plan exists: long transforms copy their
// input for speed when memory allows and read it in place otherwise.
//
// Split complex arrays at element strides (counted in doubles); input and
// output must not overlap and the input is not changed.
std::int32_t cxFft(const FftPlan* plan, const double* inRe, const double* inIm, double* outRe,
                   double* outIm, std::int32_t inStride, std::int32_t outStride, std::int32_t n) noexcept;
// Inverse with the factor 1/n.
std::int32_t cxIfft(const FftPlan* plan, const double* inRe, const double* inIm, double* outRe,
                    double* outIm, std::int32_t inStride, std::int32_t outStride, std::int32_t n) noexcept;
// Real input to an Hc spectrum; the input is not changed.
std::int32_t reFft(const FftPlan* plan, const double* in, double* out, std::int32_t inStride,
                   std::int32_t outStride, std::int32_t n) noexcept;
// Hc spectrum to real output with the factor 1/n. Overwrites its input.
std::int32_t reIfft(const FftPlan* plan, double* in, double* out, std::int32_t inStride,
                    std::int32_t outStride, std::int32_t n) noexcept;

}  // namespace varnel::fft
