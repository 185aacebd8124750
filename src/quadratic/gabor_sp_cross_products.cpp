#include <cmath>
#include <cstddef>

#include "frame/numbers.h"
#include "quadratic/gabor_sp_sizes.h"
#include "quadratic/gabor_sp_stages.h"

namespace varnel::gaborsp {

void gaborCrossProducts(const GaborCoefficients& lattice, std::int32_t dm, std::int32_t dn, SplitComplex P) {
    const std::ptrdiff_t N = lattice.N;
    const std::int64_t rows = dm < lattice.M ? lattice.M - dm : 0;
    // Per-row phase step: the frequency offset 2*pi*dn/N times half a step.
    const double phaseStep = static_cast<double>(lattice.dM) * dn * kPi / lattice.N;
    const std::ptrdiff_t shift = wrapIndex(dn, N);
    for (std::int64_t m = 0; m < rows; ++m) {
        const double theta = static_cast<double>(dm + 2 * m) * phaseStep;
        const double c = std::cos(theta), s = std::sin(theta);
        const double* first = lattice.coefs + 2 * m * N;
        const double* second = lattice.coefs + 2 * (m + dm) * N;
        double* re = P.re + m * N;
        double* im = P.im + m * N;
        for (std::ptrdiff_t n = 0; n < N; ++n) {
            const std::ptrdiff_t partner = n + shift < N ? n + shift : n + shift - N;
            const double ar = first[2 * n], ai = -first[2 * n + 1];
            const double br = second[2 * partner], bi = second[2 * partner + 1];
            const double pr = ar * br - ai * bi, pi = ar * bi + ai * br;
            re[n] = pr * c - pi * s;
            im[n] = pr * s + pi * c;
        }
    }
    const std::ptrdiff_t used = static_cast<std::ptrdiff_t>(rows) * N;
    clearComplex(P.offset(used), static_cast<std::ptrdiff_t>(lattice.M) * N - used);
}

}  // namespace varnel::gaborsp
