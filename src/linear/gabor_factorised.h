// The Gabor transform of long windows by factorising the lattice. When the
// bin count N divides the period P and the time step dM divides N, every
// coefficient position l of frame r + q*t (q = N/dM, t < b = P/N) is one
// value of a circular correlation of length b: the signal's samples
// l, l + N, l + 2N, ... against the same decimation of the periodised
// window taken from position l - r*dM. Correlating by transforms of length
// b makes a call cost about F*N*(log2(b) + log2(N)) operations, where
// folding every frame costs F*L, so the route pays for windows many times
// longer than N and is the only affordable one for windows as long as the
// signal. Its coefficients are the folding route's up to rounding.
#pragma once

#include <cstddef>
#include <cstdint>

#include "linear/dgt_periodic_signal.h"

namespace varnel::gabor {

// The correlation length b = P/N when a one-dimensional transform of this
// lattice over a period of `padded` samples takes the factorised route,
// else 0. The route needs N | P and dM | N, and is taken when the window
// is long enough that folding it would cost more (see the definition for
// the measured rule).
std::int32_t factorisedLength(const Lattice& lattice, std::int64_t padded) noexcept;

// Plans for many transforms or expansions of one lattice and period P =
// frames*dM: when they factorise (plans.correlation set), with the part
// that depends only on the window made once, the spectra of the N
// decimated rows of the window periodised over P, in `table` (P doubles);
// else plans as they are. scratch: the route's scratch (any of the sizes
// below for this lattice and period).
TransformPlans withWindowTable(TransformPlans plans, const Lattice& lattice, std::int64_t frames, double* scratch,
                               double* table) noexcept;

// Doubles of scratch the routes below take, besides their plans' scratch.
std::size_t realFactorisedScratch(const Lattice& lattice, const PeriodicSignal& signal) noexcept;
std::size_t complexFactorisedScratch(const Lattice& lattice, const PeriodicSignal& signal) noexcept;

// The transforms of realTransform and complexTransform by this route;
// plans.correlation must be the plan of length signal.correlationLength.
std::int32_t realFactorised(const double* x, const Lattice& lattice, const PeriodicSignal& signal, double* out,
                            const TransformPlans& plans, double* scratch) noexcept;
std::int32_t complexFactorised(ConstSplitComplex x, const Lattice& lattice, const PeriodicSignal& signal,
                               SplitComplex out, const TransformPlans& plans, double* scratch) noexcept;

// The expansion's counterpart: b when an expansion of `frames` frames
// takes the factorised route, which it does under the transform's rule
// and only for windows no longer than the period P = F*dM (longer ones
// are wrapped once on each side, which a periodic sum does not do); else
// 0.
std::int32_t factorisedExpansionLength(const Lattice& lattice, std::int64_t frames) noexcept;
// Doubles of scratch besides the plans': parts 1 for real, 2 for
// complex signals.
std::size_t factorisedExpansionScratch(const Lattice& lattice, std::int64_t frames, int parts) noexcept;

// expandReal and expandComplex by this route: frame r + q*t's inverse
// transform at position l is a decimated row that is convolved with the
// window row of l - r*dM and summed over r into the output's samples
// l, l + N, ...; plans.correlation has length b.
std::int32_t expandRealFactorised(const double* coef, std::int64_t frames, const Lattice& lattice, double* out,
                                  std::ptrdiff_t outStride, std::int32_t outLength, const TransformPlans& plans,
                                  double* scratch) noexcept;
std::int32_t expandComplexFactorised(ConstSplitComplex coef, std::int64_t frames, const Lattice& lattice,
                                     SplitComplex out, std::int32_t outLength, const TransformPlans& plans,
                                     double* scratch) noexcept;

}  // namespace varnel::gabor
