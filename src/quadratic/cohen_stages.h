// The stages that turn the Wigner-Ville computation into a Cohen-class
// distribution: smoothing of every lag row along time by a kernel given in
// the Doppler domain, and the two kernel tables of the preset
// distributions.
//
// Kernel tables have rows of kernelWidth values: row r is lag r on the grid
// of the analysed sequence, column c the Doppler bin c - kernelWidth/2 of a
// length-kernelWidth DFT along time at the input rate (the centre column is
// zero Doppler).
#pragma once

#include <cstddef>
#include <cstdint>

namespace varnel::wigner {

// Where the smoothing finds kernel row r: in a caller's table, or made on
// demand by a preset into a buffer of one row. A preset table of every row
// would be most of the memory of a CWD call, and on a fresh mapping most of
// its time; the rows are the same values either way.
class KernelRows {
public:
    // Writes row r and returns its support (see Row).
    using RowFill = std::ptrdiff_t (*)(std::int32_t r, std::int32_t width, double parameter, double* row) noexcept;

    // A row and how far it reaches: values[width/2 + d] for |d| < support;
    // the columns further out are zero, and a preset leaves them unwritten,
    // so they are not to be read.
    struct Row {
        const double* values;
        std::ptrdiff_t support;
    };

    static KernelRows table(const double* kernel, std::int32_t rowCount, std::int32_t width) noexcept {
        return KernelRows(kernel, nullptr, 0.0, rowCount, width, nullptr);
    }
    // buffer: room for one row of width values.
    static KernelRows preset(RowFill fill, double parameter, std::int32_t rowCount, std::int32_t width,
                             double* buffer) noexcept {
        return KernelRows(nullptr, fill, parameter, rowCount, width, buffer);
    }

    std::int32_t rowCount() const noexcept { return rowCount_; }
    std::int32_t width() const noexcept { return width_; }
    // Valid until the next call.
    Row row(std::ptrdiff_t r) const noexcept {
        if (table_ != nullptr) return {table_ + r * width_, width_ / 2 + 1};
        return {buffer_, fill_(static_cast<std::int32_t>(r), width_, parameter_, buffer_)};
    }

private:
    KernelRows(const double* table, RowFill fill, double parameter, std::int32_t rowCount, std::int32_t width,
               double* buffer) noexcept
        : table_(table), fill_(fill), parameter_(parameter), rowCount_(rowCount), width_(width), buffer_(buffer) {}

    const double* table_;
    RowFill fill_;
    double parameter_;
    std::int32_t rowCount_, width_;
    double* buffer_;
};

// The lag-time table of cxLocalAutocorr for the slices at input samples
// j*timeStep, j < T = floor(ceil(length/up) / timeStep), each lag row first
// convolved circularly over K = nextPow2(T*timeStep) input samples with the
// inverse DFT of its kernel row. up is 2 on the half-sample grid, 1 on the
// whole-sample grid; timeStep a power of two. kStatusBadKernelSize when the
// kernel width is not K (T = 0 included) or the kernel has fewer than
// lagCount rows; otherwise kStatusOk or kStatusNoMemory.
std::int32_t cxKernelSmooth(const double* zRe, const double* zIm, std::ptrdiff_t length, std::int32_t lagCount,
                            std::int32_t up, std::int32_t timeStep, const KernelRows& kernel, double* tabRe,
                            double* tabIm) noexcept;
// The real form. Each kernel row is averaged with its mirror about zero
// Doppler, so that the smoothed sequence stays real.
std::int32_t reKernelSmooth(const double* x, std::ptrdiff_t length, std::int32_t lagCount, std::int32_t up,
                            std::int32_t timeStep, const KernelRows& kernel, double* tab) noexcept;

// Choi-Williams row r: exp(-sigma r^2 d^2), d = c - width/2; a negative sigma
// counts as 0 (all ones: the Wigner-Ville distribution). Its support ends
// where the values underflow to zero.
std::ptrdiff_t choiWilliamsRow(std::int32_t r, std::int32_t width, double sigma, double* row) noexcept;
// Cone-shaped row r: exp(-alpha r^2) sin(x)/x with x = d r pi / width; a
// negative alpha counts as 0 (the pure cone).
std::ptrdiff_t coneRow(std::int32_t r, std::int32_t width, double alpha, double* row) noexcept;

// The Cohen-class distribution behind Cohen, CWD and CSD, with the checks
// of Cohen already passed.
std::int32_t cohenDistribution(const double* re, const double* im, std::int32_t n, const KernelRows& kernel,
                               std::int32_t nFreq, std::int32_t timeStep, std::int32_t analytic,
                               double* out) noexcept;

}  // namespace varnel::wigner
