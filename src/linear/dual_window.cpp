#include "linear/dual_window.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "fft/plan_hold.h"
#include "frame/scratch.h"
#include "solver/pseudo_inverse.h"
#include "varnel.h"

namespace varnel::gabor {

namespace {

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

// Decimations gathered or scattered together: one cache line of doubles.
constexpr std::int32_t kDecimationGroup = 8;

// |X_f|^2 of an Hc spectrum of length n, for f <= n/2.
double power(const double* hc, std::int32_t n, std::int32_t f) noexcept {
    const bool real = f == 0 || 2 * f == n;
    return hc[f] * hc[f] + (real ? 0.0 : hc[n - f] * hc[n - f]);
}

}  // namespace

std::int32_t residueSystemDual(const double* window, std::int32_t L, std::int32_t dM, std::int32_t N,
                               std::int32_t mode, double* dual) noexcept {
    const DualLattice lat(L, dM, N, mode);
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

std::int32_t factorisedPeriodicDual(const double* window, std::int32_t L, std::int32_t dM, std::int32_t N,
                                    double* dual) noexcept {
    const std::int32_t q = L / N;
    const std::int32_t blocks = N / dM;
    // The decimations g[rho + m*N] are read and the dual's written a group
    // of consecutive rho at a time through a staging block, so that each
    // pass over the window touches whole cache lines instead of one value
    // per line N apart.
    const std::int32_t group = N < kDecimationGroup ? N : kDecimationGroup;
    const auto rowLength = static_cast<std::ptrdiff_t>(q);
    // The spectra of the N decimations (Hc, q doubles each), the staging
    // block and one residue's weights.
    fft::Workspace<1> ws(static_cast<std::size_t>(L) + group * rowLength + q / 2 + 1, {q});
    if (!ws.ok()) return kStatusNoMemory;
    double* spectra = ws.data();
    double* stage = spectra + L;
    double* weights = stage + group * rowLength;
    for (std::int32_t first = 0; first < N; first += group) {
        for (std::ptrdiff_t m = 0; m < rowLength; ++m)
            for (std::int32_t b = 0; b < group; ++b) stage[b * rowLength + m] = window[first + b + m * N];
        for (std::int32_t b = 0; b < group; ++b)
            fft::reFft(ws.plan(), stage + b * rowLength, spectra + (first + b) * rowLength, 1, 1, q, ws.fftScratch());
    }

    const double scale = 1.0 / static_cast<double>(dM);
    for (std::int32_t j0 = 0; j0 < dM; ++j0) {
        // weights[f] = 1 / (dM * sigma_f^2) for the kept singular values
        // sigma_f of the residue's matrix, 0 for the others.
        bool finite = true;
        for (std::int32_t f = 0; 2 * f <= q; ++f) {
            double sum = 0.0;
            for (std::int32_t r = 0; r < blocks; ++r) sum += power(spectra + (j0 + r * dM) * rowLength, q, f);
            finite = finite && std::isfinite(sum);
            weights[f] = std::sqrt(sum) > kSingularValueTolerance ? scale / sum : 0.0;
        }
        for (std::int32_t r = 0; r < blocks; ++r) {
            double* hc = spectra + (j0 + r * dM) * rowLength;
            if (!finite) {
                std::fill(hc, hc + q, 0.0);
                continue;
            }
            for (std::int32_t f = 0; 2 * f <= q; ++f) {
                hc[f] *= weights[f];
                if (f != 0 && 2 * f != q) hc[q - f] *= weights[f];
            }
        }
    }

    for (std::int32_t first = 0; first < N; first += group) {
        for (std::int32_t b = 0; b < group; ++b)
            fft::reIfft(ws.plan(), spectra + (first + b) * rowLength, stage + b * rowLength, 1, 1, q,
                        ws.fftScratch());
        for (std::ptrdiff_t m = 0; m < rowLength; ++m)
            for (std::int32_t b = 0; b < group; ++b) dual[first + b + m * N] = stage[b * rowLength + m];
    }
    return kStatusOk;
}

}  // namespace varnel::gabor
