// Shared machinery of the fuzz targets: a decoder that turns the input bytes
// into arguments (with the hostile values an untrusted caller may pass), a
// call frame that allocates every array at its exact documented size (so
// AddressSanitizer sees any access outside it), pre-fills outputs with a
// sentinel bit pattern, and checks the outcome against the contract in
// varnel.h: documented status, expected status from the argument checks,
// nothing written on failure, outputs complete and finite on success.
#pragma once

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "varnel.h"

// The library answers a null array it would touch, and an output overlapping
// another array, with status 1 (nothing for the void conversions). When this
// switch is on the decoder also produces such calls; with it off, null
// pointers appear only where varnel.h documents them for each export.
#ifndef VARNEL_FUZZ_NULL_AND_OVERLAP
#define VARNEL_FUZZ_NULL_AND_OVERLAP 1
#endif

namespace varnel_fuzz {

constexpr bool kNullAndOverlapRules = VARNEL_FUZZ_NULL_AND_OVERLAP != 0;
constexpr int64_t kMaxElems = int64_t(1) << 18;  // per array, keeps one execution short
constexpr int64_t kMaxWork = int64_t(1) << 18;   // rough sample-operations budget per call
constexpr uint64_t kSentinel = 0x7ff4dead0badf00dULL;  // a NaN no arithmetic produces

[[noreturn]] inline void fail(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    std::fputs("contract violation: ", stderr);
    std::vfprintf(stderr, fmt, ap);
    std::fputc('\n', stderr);
    va_end(ap);
    std::abort();
}

inline bool isPow2(int64_t v) { return v >= 1 && (v & (v - 1)) == 0; }
inline int64_t nextPow2(int64_t v) {
    int64_t p = 1;
    while (p < v) p <<= 1;
    return v < 1 ? 0 : p;
}
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
        if (s < 20) return hostile[s % 10];
        return int32_t(u16() % (uint32_t(cap) + 1));
    }
    int32_t pow2(int maxLog) {
        const uint8_t s = u8();
        if (s < 16) return i32(1 << maxLog);
        return int32_t(1) << (s % (maxLog + 1));
    }
    double real() {
        static const double special[] = {0.0, -0.0, NAN, INFINITY, -INFINITY, DBL_MAX, -DBL_MAX, 1e300,
                                         std::numeric_limits<double>::denorm_min(), -4.9e-320, DBL_MIN,
                                         1e-300, 1e6, -1e6, 2147483648.0, 9007199254740993.0};
        const uint8_t s = u8();
        if (s < 16) {
            if (!tame(special[s])) wild = true;
            return special[s];
        }
        return int16_t(u16()) / 256.0;
    }
    double sampleValue() {
        if (i < n) return int8_t(u8()) / 16.0;
        lcg = lcg * 6364136223846793005ULL + 1442695040888963407ULL;
        return int8_t(lcg >> 56) / 16.0;
    }
    // Fills n doubles with samples; a leading byte may plant special values.
    void samples(double* p, int64_t count) {
        if (!p || count <= 0) return;
        const uint8_t mode = u8();
        for (int64_t k = 0; k < count; ++k) p[k] = sampleValue();
        if (mode < 48) {
            for (int j = 0, planted = 1 + mode % 3; j < planted; ++j) p[u16() % count] = real();
        }
    }
};

// One call's arrays. Declare them (in / out / inout), then place() decides
// null pointers and overlaps and allocates, the caller fills its inputs,
// seal() writes sentinels and takes snapshots, the export runs and check()
// judges the result.
class Call {
  public:
    struct Array {
        int64_t n;
        bool out, inout, docNull, full, scratchOnFail;
        bool keep = false;  // a null pointer would change the call's meaning
        double* p = nullptr;
        std::vector<uint64_t> snap;
    };

    explicit Call(Reader& r) : r_(r) {}
    ~Call() {
        for (void* b : blocks_) std::free(b);
    }
    Call(const Call&) = delete;
    Call& operator=(const Call&) = delete;

    // docNull: varnel.h says what a null pointer here returns, so it is
    // offered even with the null/overlap switch off.
    int in(int64_t n, bool docNull = false) { return add(n, false, false, docNull, false); }
    int out(int64_t n, bool docNull = false, bool full = true) { return add(n, true, false, docNull, full); }
    int inout(int64_t n, bool docNull = false) { return add(n, true, true, docNull, false); }
    Array& at(int k) { return a_[k]; }

    void place() {
        const uint8_t h = r_.u8();
        const int count = int(a_.size());
        if (count > 0 && h < 40) {
            const int k = h % count;
            if (!a_[k].keep && (a_[k].docNull || (kNullAndOverlapRules && a_[k].n > 0))) {
                nulled_ = k;
                if (!a_[k].docNull) hostile_ = true;
            }
        } else if (kNullAndOverlapRules && count > 1 && h < 72) {
            const int k = h % count, j = r_.u8() % count;
            if (j != k && a_[k].out && a_[k].n > 0 && a_[j].n > 0) alias_[0] = k, alias_[1] = j, hostile_ = true;
        }
        int64_t total = 0, widest = 0;
        for (auto& x : a_) total += x.n, widest = std::max(widest, x.n);
        if (alias_[0] >= 0) {
            // One block so an output can start inside another array.
            auto* base = static_cast<double*>(std::malloc(size_t(total + widest + 1) * sizeof(double)));
            blocks_.push_back(base);
            int64_t off = 0;
            for (auto& x : a_) x.p = base + off, off += x.n;
            a_[alias_[0]].p = a_[alias_[1]].p + r_.u16() % a_[alias_[1]].n;
        } else {
            for (auto& x : a_) {
                x.p = static_cast<double*>(std::malloc(x.n > 0 ? size_t(x.n) * sizeof(double) : 1));
                blocks_.push_back(x.p);
            }
        }
        if (nulled_ >= 0) a_[nulled_].p = nullptr;
    }
    double* p(int k, int64_t offset = 0) { return a_[k].p ? a_[k].p + offset : nullptr; }
    bool null(int k) const { return a_[k].p == nullptr; }
    // A call the argument checks may accept but with an array too large to
    // provide: skipped, as its work would be too.
    bool oversized(const std::vector<int32_t>& pred) const {
        bool accepted = false;
        for (int32_t e : pred) accepted = accepted || e == 0;
        return clamped_ && accepted;
    }
    bool hostile() const { return hostile_; }
    void fill(int k) { r_.samples(a_[k].p, a_[k].n); }

    void seal() {
        for (auto& x : a_)
            if (x.p && x.out && !x.inout)
                for (int64_t k = 0; k < x.n; ++k) std::memcpy(x.p + k, &kSentinel, 8);
        for (auto& x : a_) {
            x.snap.resize(size_t(std::max<int64_t>(x.n, 0)));
            if (x.p && x.n > 0) std::memcpy(x.snap.data(), x.p, size_t(x.n) * 8);
        }
    }
    bool unchanged(int k) const {
        const Array& x = a_[k];
        return !x.p || x.n <= 0 || std::memcmp(x.snap.data(), x.p, size_t(x.n) * 8) == 0;
    }
    static bool isSentinel(double v) {
        uint64_t b;
        std::memcpy(&b, &v, 8);
        return b == kSentinel;
    }

    // pred: statuses the argument checks allow (0 when they all pass), empty
    // for any documented status. partial: statuses after which, once the
    // checks passed, outputs may be partly written. finite: outputs must be
    // finite on success.
    void check(const char* name, int32_t s, std::initializer_list<int32_t> doc, std::vector<int32_t> pred,
               const std::vector<int32_t>& partial, bool finite) {
        auto has = [](const auto& set, int32_t v) {
            for (int32_t e : set)
                if (e == v) return true;
            return false;
        };
        if (!has(doc, s)) fail("%s returned undocumented status %d", name, s);
        const bool argsPass = has(pred, 0);
        // Arrays are judged after the argument checks and before memory is taken.
        if (hostile_ && (argsPass || has(pred, kStatusNoMemory))) {
            // Null or overlapping arrays after the documented checks passed.
            if (s != 1) fail("%s: null/overlapping array (null #%d, alias %d->%d) gave %d, not 1", name, nulled_,
                             alias_[0], alias_[1], s);
        } else if (!pred.empty() && !has(pred, s) && !(argsPass && (s == kStatusNoMemory || has(partial, s)))) {
            fail("%s returned %d, argument checks allow %d%s", name, s, pred[0], pred.size() > 1 ? " (or more)" : "");
        }
        const bool partly = !hostile_ && argsPass && has(partial, s);
        for (int k = 0; k < int(a_.size()); ++k) {
            const Array& x = a_[k];
            if (!x.out) {
                if (alias_[0] < 0 && !unchanged(k)) fail("%s modified its input array #%d", name, k);
            } else if (s != 0 && !partly && !x.scratchOnFail && !unchanged(k)) {
                fail("%s wrote output #%d although it returned %d", name, k, s);
            } else if (s == 0 && x.p && (x.full || finite)) {
                for (int64_t e = 0; e < x.n; ++e) {
                    if (x.full && isSentinel(x.p[e])) fail("%s left output #%d element %lld unwritten", name, k, (long long)e);
                    if (finite && !x.inout && !isSentinel(x.p[e]) && !std::isfinite(x.p[e]))
                        fail("%s: output #%d element %lld is %g for finite input", name, k, (long long)e, x.p[e]);
                }
            }
        }
    }

  private:
    int add(int64_t n, bool out, bool inout, bool docNull, bool full) {
        clamped_ = clamped_ || n > kMaxElems;
        a_.push_back(Array{std::clamp<int64_t>(n, 0, kMaxElems), out, inout, docNull, full, false});
        return int(a_.size()) - 1;
    }
    Reader& r_;
    std::vector<Array> a_;
    std::vector<void*> blocks_;
    int nulled_ = -1;
    int alias_[2] = {-1, -1};
    bool hostile_ = false;
    bool clamped_ = false;
};

// Decoded window spec (its window is array `win` of the call).
struct Spec {
    WindowSpec ws{};
    int win = -1;
    bool null = false;
    const WindowSpec* ptr() const { return null ? nullptr : &ws; }
};

}  // namespace varnel_fuzz
