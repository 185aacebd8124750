// Shared machinery of the fuzz targets: a decoder that turns the input bytes
// into arguments, hostile ones included, and a call frame that gives every
// array its exact documented size (so AddressSanitizer sees any access
// outside it), fills outputs with a sentinel and judges the outcome against
// varnel.h: a documented status, nothing written on failure, outputs
// complete (and finite for tame input) on success.
#pragma once

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "varnel.h"

namespace varnel_fuzz {

constexpr int64_t kMaxElems = int64_t(1) << 18;  // a larger array is passed as null: the call must refuse it
constexpr int64_t kMaxWork = int64_t(1) << 18;   // rough sample-operations budget per call
constexpr uint64_t kSentinel = 0x7ff4dead0badf00dULL;  // a NaN no arithmetic produces
constexpr int32_t NM = kStatusNoMemory;

[[noreturn]] inline void fail(const char* name, const char* what, long long k) {
    std::fprintf(stderr, "contract violation: %s: %s (%lld)\n", name, what, k);
    std::abort();
}
inline bool isPow2(int64_t v) { return v >= 1 && (v & (v - 1)) == 0; }
inline int64_t nonneg(int64_t v) { return v > 0 ? v : 0; }
inline int64_t extent(int64_t count, int64_t stride) { return count > 0 ? (count - 1) * stride + 1 : 0; }
inline bool tame(double v) { return std::isfinite(v) && std::fabs(v) <= 1e6; }

// Byte decoder; past the end of the input it yields zeros (and, for sample
// data, a deterministic pseudo-random sequence so long signals stay busy).
struct Reader {
    const uint8_t* d;
    size_t n, i = 0;
    uint64_t lcg;
    bool wild = false;  // a non-finite or huge value was produced
    Reader(const uint8_t* data, size_t size) : d(data), n(size), lcg(size * 0x9e3779b97f4a7c15ULL + 1) {}

    uint8_t u8() { return i < n ? d[i++] : 0; }
    uint16_t u16() { return uint16_t(u8() | (u8() << 8)); }
    bool chance(int in256) { return u8() < in256; }
    int32_t i32(int32_t cap) {
        static const int32_t hostile[] = {0, -1, INT32_MIN, INT32_MAX, 1, 2, -2, 1 << 30, (1 << 30) + 1, 3};
        const uint8_t s = u8();
        return s < 20 ? hostile[s % 10] : int32_t(u16() % (uint32_t(cap) + 1));
    }
    int32_t pow2(int maxLog) {
        const uint8_t s = u8();
        return s < 16 ? i32(1 << maxLog) : int32_t(1) << (s % (maxLog + 1));
    }
    double real() {
        static const double special[] = {0.0, -0.0, NAN, INFINITY, -INFINITY, DBL_MAX, -DBL_MAX, 1e300,
                                         4.9e-324, -4.9e-320, DBL_MIN, 1e-300, 1e6, -1e6, 2147483648.0, 9007199254740993.0};
        const uint8_t s = u8();
        if (s >= 16) return int16_t(u16()) / 256.0;
        wild = wild || !tame(special[s]);
        return special[s];
    }
    double sampleValue() {
        if (i < n) return int8_t(u8()) / 16.0;
        lcg = lcg * 6364136223846793005ULL + 1442695040888963407ULL;
        return int8_t(lcg >> 56) / 16.0;
    }
    // Fills count doubles with samples; a leading byte may plant special values.
    void samples(double* p, int64_t count) {
        if (!p || count <= 0) return;
        const uint8_t mode = u8();
        for (int64_t k = 0; k < count; ++k) p[k] = sampleValue();
        for (int j = 0; mode < 48 && j < 1 + mode % 3; ++j) p[u16() % count] = real();
    }
};

// Array roles: inputs must stay untouched; outputs get the sentinel and must
// be complete on success unless kPartial (strided outputs keep their gaps).
enum : unsigned {
    kOut = 1,
    kInOut = 2,      // read and written: no sentinel, unchanged on failure
    kPartial = 4,    // need not be complete on success
    kNullOk = 8,     // null is a documented argument here, not a fault
    kScratch = 16,   // may be written even on failure
    kKeep = 32,      // null would change the call's meaning: never nulled
    kAnyValue = 64,  // exempt from the finiteness check
};

// One call's arrays (an overlap may be legitimate: the parts of a strided
// pair interleave, an extension side may lie on samples it no longer needs): add() them, place() decides null pointers and overlaps
// and allocates, the caller fills its inputs, seal() writes sentinels and
// takes snapshots, the export runs and check() judges the result.
class Call {
  public:
    explicit Call(Reader& r) : r_(r) {}
    ~Call() {
        for (void* b : blocks_) std::free(b);
    }
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

    int add(int64_t n, unsigned flags = 0) {
        const bool huge = n > kMaxElems;
        hostile_ = hostile_ || (huge && !(flags & kNullOk));
        a_.push_back({huge ? 0 : std::max<int64_t>(n, 0), flags, huge});
        return int(a_.size()) - 1;
    }
    void place() {
        const uint8_t h = r_.u8();
        const int count = int(a_.size());
        int nulled = -1;
        if (count > 0 && h < 40) {
            const Array& x = a_[h % count];
            if (!(x.f & kKeep) && (x.f & kNullOk || x.n > 0)) nulled = h % count, hostile_ = hostile_ || !(x.f & kNullOk);
        } else if (count > 1 && h < 72) {
            const int k = h % count, j = r_.u8() % count;
            if (j != k && (a_[k].f & (kOut | kInOut)) && a_[k].n > 0 && a_[j].n > 0) alias_ = k, aliasOf_ = j;
        }
        int64_t total = 0, widest = 0;
        for (auto& x : a_) total += x.n, widest = std::max(widest, x.n);
        if (alias_ >= 0) {  // one block, so an output can start inside another array
            auto* base = static_cast<double*>(std::malloc(size_t(total + widest + 1) * 8));
            blocks_.push_back(base);
            for (auto& x : a_) x.p = base, base += x.n;
            a_[alias_].p = a_[aliasOf_].p + r_.u16() % a_[aliasOf_].n;
        } else {
            for (auto& x : a_) blocks_.push_back(x.p = static_cast<double*>(std::malloc(x.n ? size_t(x.n) * 8 : 1)));
        }
        for (auto& x : a_)
            if (x.huge) x.p = nullptr;
        if (nulled >= 0) a_[nulled].p = nullptr;
    }
    double* p(int k, int64_t offset = 0) { return k >= 0 && a_[k].p ? a_[k].p + offset : nullptr; }
    bool hostile() const { return hostile_ || alias_ >= 0; }
    void fill(int k) {
        if (k >= 0) r_.samples(a_[k].p, a_[k].n);
    }
    // place(), the listed inputs filled in that order, seal().
    void ready(std::initializer_list<int> inputs) {
        place();
        for (const int k : inputs) fill(k);
        seal();
    }
    void seal() {  // sentinels first, then snapshots, as arrays may overlap
        for (auto& x : a_)
            if (x.p && (x.f & kOut))
                for (int64_t k = 0; k < x.n; ++k) std::memcpy(x.p + k, &kSentinel, 8);
        for (auto& x : a_)
            if (x.p) x.snap.assign(x.p, x.p + x.n);
    }
    bool unchanged(int k) const {
        const Array& x = a_[k];
        return !x.p || x.n == 0 || std::memcmp(x.snap.data(), x.p, size_t(x.n) * 8) == 0;
    }
    static bool isSentinel(double v) { return std::memcmp(&v, &kSentinel, 8) == 0; }

    // doc: the export's documented statuses; partial: those after which its
    // outputs may be partly written (never for a refused array).
    void check(const char* name, int32_t s, std::initializer_list<int32_t> doc, std::initializer_list<int32_t> partial,
               bool finite) {
        if (std::find(doc.begin(), doc.end(), s) == doc.end()) fail(name, "undocumented status", s);
        if (hostile_ && s == 0) fail(name, "accepted a null or oversized array", s);
        const bool partly = !hostile_ && std::find(partial.begin(), partial.end(), s) != partial.end();
        for (int k = 0; k < int(a_.size()); ++k) {
            const Array& x = a_[k];
            if (!(x.f & (kOut | kInOut))) {
                if (alias_ < 0 && !unchanged(k)) fail(name, "modified input array", k);
            } else if (s != 0) {
                if (!partly && !(x.f & kScratch) && !unchanged(k)) fail(name, "wrote an array on failure; array", k);
            } else if (x.p && (x.f & kOut)) {
                for (int64_t e = 0; e < x.n; ++e) {
                    const bool unset = isSentinel(x.p[e]);
                    if (unset && !(x.f & kPartial)) fail(name, "left an output element unwritten", e);
                    if (finite && !unset && !(x.f & kAnyValue) && !std::isfinite(x.p[e]))
                        fail(name, "non-finite output for finite input, element", e);
                }
            }
        }
    }

  private:
    struct Array {
        int64_t n;
        unsigned f;
        bool huge;
        double* p = nullptr;
        std::vector<double> snap;
    };
    Reader& r_;
    std::vector<Array> a_;
    std::vector<void*> blocks_;
    int alias_ = -1, aliasOf_ = -1;
    bool hostile_ = false;
};

}  // namespace varnel_fuzz
