// FFT plans: everything the transform of one length needs that does not
// depend on the data, shared through a reference-counted cache. Outside
// the FFT a plan is only a handle; its inside is in fft/plan_record.h.
#pragma once

#include <cstddef>
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

// Doubles of scratch that one transform of length n works in: the
// contiguous copy of a long transform's first stage, the work arrays of
// its prime stages (23, 47 and the Rader primes) and, for lengths whose
// long stages keep their twiddles factored, room to make output written at
// a stride other than 1 at unit stride first. 0 for most lengths, the
// powers of two below 2^16 among them. Known before the plan is built, so
// that a call can take it with the rest of its memory.
std::size_t fftScratchSize(std::int32_t n) noexcept;

// Transforms. All return kStatusOk or kStatusBadLayout (-1) when n is not
// the plan's length (nothing written).
//
// The last argument is the caller's scratch of fftScratchSize(n) doubles
// (null when that is 0); with it a transform never allocates, so a routine
// that runs many takes the scratch once. Without it (the forms with one
// argument fewer) a transform allocates its scratch at the start and
// returns kStatusNoMemory, having written nothing, when that fails and the
// length has prime stages or its output is to be staged; other lengths
// then run without the copy, more slowly, and cannot fail once the plan
// exists.
//
// Split complex arrays at element strides (counted in doubles); input and
// output must not overlap and the input is not changed.
std::int32_t cxFft(const FftPlan* plan, const double* inRe, const double* inIm, double* outRe,
                   double* outIm, std::int32_t inStride, std::int32_t outStride, std::int32_t n) noexcept;
std::int32_t cxFft(const FftPlan* plan, const double* inRe, const double* inIm, double* outRe,
                   double* outIm, std::int32_t inStride, std::int32_t outStride, std::int32_t n,
                   double* scratch) noexcept;
// Inverse with the factor 1/n.
std::int32_t cxIfft(const FftPlan* plan, const double* inRe, const double* inIm, double* outRe,
                    double* outIm, std::int32_t inStride, std::int32_t outStride, std::int32_t n) noexcept;
std::int32_t cxIfft(const FftPlan* plan, const double* inRe, const double* inIm, double* outRe,
                    double* outIm, std::int32_t inStride, std::int32_t outStride, std::int32_t n,
                    double* scratch) noexcept;
// Real input to an Hc spectrum; the input is not changed.
std::int32_t reFft(const FftPlan* plan, const double* in, double* out, std::int32_t inStride,
                   std::int32_t outStride, std::int32_t n) noexcept;
std::int32_t reFft(const FftPlan* plan, const double* in, double* out, std::int32_t inStride,
                   std::int32_t outStride, std::int32_t n, double* scratch) noexcept;
// Hc spectrum to real output with the factor 1/n. Overwrites its input.
std::int32_t reIfft(const FftPlan* plan, double* in, double* out, std::int32_t inStride,
                    std::int32_t outStride, std::int32_t n) noexcept;
std::int32_t reIfft(const FftPlan* plan, double* in, double* out, std::int32_t inStride,
                    std::int32_t outStride, std::int32_t n, double* scratch) noexcept;

}  // namespace varnel::fft
