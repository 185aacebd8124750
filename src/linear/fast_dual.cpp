// Dual (analysis) window of a Gabor pair.
//
// The biorthogonality conditions sum_c g[j0 + a*N + c*dM] * d[j0 + c*dM] =
// delta(a) / dM only couple dual samples of one residue j0 of the time
// index modulo dM, so the L-sized problem falls apart into dM small
// systems of R equations in p unknowns, each solved for its least-norm
// solution through a pseudo-inverse, of which only the column that is the
// solution is formed.
#include <cstddef>
#include <cstdint>

#include "frame/array_check.h"
#include "frame/export_guard.h"
#include "frame/numbers.h"
#include "frame/scratch.h"
#include "solver/pseudo_inverse.h"
#include "varnel.h"

namespace {

using varnel::PseudoInverseWorkspace;
using varnel::ScratchBuffer;

enum DualMode : std::int32_t { PeriodicDual = 0, AperiodicDual = 1 };

// Singular values at or below this count as zero, whatever the window's scale.
constexpr double kSingularValueTolerance = 1e-10;

std::int32_t validateDualArguments(std::int32_t L, std::int32_t dM, std::int32_t N, std::int32_t mode) noexcept {
    if (dM < 1 || N < 1 || !varnel::isPowerOfTwo(N)) return kStatusBadWindowSpec;
    if (L < 1 || L % dM != 0 || L % N != 0) return kStatusBadLength;
    if (dM > N) return kStatusBadWindowSpec;
    if (mode != PeriodicDual && mode != AperiodicDual) return kStatusBadSelector;
    return kStatusOk;
}

struct DualLattice {
    std::int64_t timeStep;        // dM
    std::int64_t binCount;        // N
    std::int64_t unknowns;        // p = L/dM: dual samples per residue
    std::int64_t equations;       // R: window shifts by multiples of N
    std::int64_t extendedLength;  // Lx: period in which shifts wrap around

    // Periodic: the window is one period, shifts 0 .. (q-1)N. Aperiodic:
    // L - N zeros appended so that each shift from -(q-1)N to (q-1)N
    // appears once and none wraps onto the window again.
    DualLattice(std::int32_t L, std::int32_t dM, std::int32_t N, std::int32_t mode) noexcept
        : timeStep(dM), binCount(N), unknowns(L / dM) {
        const std::int64_t q = L / N;
        equations = mode == PeriodicDual ? q : 2 * q - 1;
        extendedLength = mode == PeriodicDual ? L : 2 * static_cast<std::int64_t>(L) - N;
    }
};

// The residue's system, M[a][c] = g[(j0 + a*N + c*dM) mod Lx], row-major.
void fillResidueSystem(const double* extended, const DualLattice& lat, std::int64_t j0, double* system) noexcept {
    for (std::int64_t a = 0; a < lat.equations; ++a)
        for (std::int64_t c = 0; c < lat.unknowns; ++c)
            system[a * lat.unknowns + c] = extended[(j0 + a * lat.binCount + c * lat.timeStep) % lat.extendedLength];
}

// The least-norm solution for right-hand side delta(a) is column 0 of
// the pseudo-inverse M^+ (p x R); scaled by 1/dM to balance the factor dM
// the expansion applies to the synthesis window.
void writeResidueDual(const double* solution, const DualLattice& lat, std::int64_t j0, bool solved,
                      double* dual) noexcept {
    const double scale = 1.0 / static_cast<double>(lat.timeStep);
    for (std::int64_t c = 0; c < lat.unknowns; ++c) dual[j0 + c * lat.timeStep] = solved ? solution[c] * scale : 0.0;
}

std::int32_t computeDual(const double* window, std::int32_t L, const DualLattice& lat, double* dual) noexcept {
    // A system beyond 32-bit dimensions could never be held in memory anyway.
    if (lat.equations > INT32_MAX) return kStatusNoMemory;
    const auto systemSize = static_cast<std::size_t>(lat.equations) * static_cast<std::size_t>(lat.unknowns);
    ScratchBuffer<double> extended(static_cast<std::size_t>(lat.extendedLength));
    ScratchBuffer<double> system(systemSize);
    ScratchBuffer<double> solution(static_cast<std::size_t>(lat.unknowns));
    if (!extended.ok() || !system.ok() || !solution.ok()) return kStatusNoMemory;
    const auto rows = static_cast<std::int32_t>(lat.equations);
    const auto cols = static_cast<std::int32_t>(lat.unknowns);
    PseudoInverseWorkspace workspace(rows, cols);
    if (!workspace.ok()) return kStatusNoMemory;

    for (std::int64_t i = 0; i < lat.extendedLength; ++i) extended[i] = i < L ? window[i] : 0.0;
    for (std::int64_t j0 = 0; j0 < lat.timeStep; ++j0) {
        fillResidueSystem(extended.data(), lat, j0, system.data());
        // Only a decomposition that fails to converge can fail here (the
        // workspace is in hand); that residue's dual samples become 0.
        const bool solved = varnel::pseudoInverseColumn(system.data(), rows, cols, kSingularValueTolerance, 0,
                                                        solution.data(), workspace);
        writeResidueDual(solution.data(), lat, j0, solved, dual);
    }
    return kStatusOk;
}

}  // namespace

extern "C" VARNEL_API int32_t FastDual(const double* window, int32_t L, int32_t dM, int32_t N, int32_t mode,
                                       double* dual) {
    return varnel::guardedExport([&]() -> int32_t {
        std::int32_t status = validateDualArguments(L, dM, N, mode);
        if (status == kStatusOk) status = varnel::ArrayCheck().reads(window, L).writes(dual, L).status();
        if (status != kStatusOk) return status;
        return computeDual(window, L, DualLattice(L, dM, N, mode), dual);
    });
}
