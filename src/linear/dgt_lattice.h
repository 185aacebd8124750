// The time-frequency lattice shared by the Gabor transform and expansion:
// window g of L samples, time step dM and N frequency bins, with the window
// covering whole time steps and whole FFT periods.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fft/plan.h"
#include "fft/plan_hold.h"
#include "linear/stft_grid.h"
#include "varnel.h"

namespace varnel::gabor {

struct Lattice {
    const double* window;  // g[0..length-1]
    std::int32_t length;   // L >= 1, a multiple of step and of bins
    std::int32_t step;     // dM >= 1
    std::int32_t bins;     // N, a power of two >= dM
    std::int32_t half;     // h = floor(L/2): g[h] sits on the frame's time step

    // Bins 0 .. N/2, those a real signal's frames hold; the others are
    // their conjugates.
    std::int32_t lowerBins() const noexcept { return bins / 2 + 1; }

    // The short-time transform's grid of `count` frames on this lattice,
    // and the phase reference of its frame k (the frame's start k*dM,
    // modulo N), for transforms made a run of frames at a time.
    stft::Grid frames(std::int64_t count) const noexcept { return {window, length, step, bins, count}; }
    std::int32_t phaseOf(std::int64_t k) const noexcept { return static_cast<std::int32_t>(k * step % bins); }
};

// The plans a transform or expansion runs with and their transforms'
// scratch: length N, and for the factorised route length b as well. A
// caller that runs many transforms of one lattice and length (the rows or
// columns of an image) may also hand in the factorised route's window
// table, made once by withWindowTable; without it every call makes its own.
struct TransformPlans {
    const fft::FftPlan* bins;
    double* binsScratch;
    const fft::FftPlan* correlation = nullptr;
    double* correlationScratch = nullptr;
    const double* windowTable = nullptr;
};

// Plans i (length N) and i + 1 (length b, or none) of a call's workspace,
// with their transforms' scratch.
template <std::size_t PlanCount>
TransformPlans transformPlans(const fft::Workspace<PlanCount>& work, std::size_t i = 0) noexcept {
    return {work.plan(i), work.fftScratch(i), work.plan(i + 1), work.fftScratch(i + 1)};
}

// kStatusOk with the lattice filled in, or kStatusBadWindowSpec when the
// spec is missing, its window is missing, or L, dM and N do not fit
// together. The divisibility tests run only once both divisors are known
// to be positive. streaming adds the block-wise variants' requirement
// that dM be a power of two as well.
std::int32_t checkLattice(const WindowSpec* spec, bool streaming, Lattice& lattice) noexcept;

// checkLattice for the expansion, whose bin count also arrives as a
// separate argument (already known to be >= 1) that must match the WindowSpec's binCount.
std::int32_t checkLatticeWithBins(const WindowSpec* spec, std::int32_t bins, bool streaming, Lattice& lattice) noexcept;

}  // namespace varnel::gabor
