#include "radiosity/run_sum.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "scene/scene.h"

namespace {

std::uint32_t pixelAt(const std::uint8_t* row, int column) {
    std::uint32_t value;
    std::memcpy(&value, row + 4 * static_cast<size_t>(column), sizeof value);
    return value;
}

// Index of the lowest set bit of a non-zero mask.
int lowestBit(std::uint64_t bits) {
#if defined(__GNUC__)
    return __builtin_ctzll(bits);
#else
    int k = 0;
    while ((bits & 1u) == 0) {
        bits >>= 1;
        ++k;
    }
    return k;
#endif
}

// Bit c - block is set where pixel c differs from pixel c - 1, for the
// columns block .. end - 1 (at most 64; column 0 never starts a new run).
std::uint64_t boundaryMask(const std::uint8_t* row, int block, int end) {
    std::uint64_t mask = 0;
    int c = std::max(block, 1);
#if defined(__SSE2__)
    // Four pixels at a time against their left neighbours.
    for (; c + 4 <= end; c += 4) {
        const __m128i here =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 4 * static_cast<size_t>(c)));
        const __m128i left =
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + 4 * static_cast<size_t>(c - 1)));
        const int same = _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(here, left)));
        mask |= static_cast<std::uint64_t>(~same & 0xF) << (c - block);
    }
#endif
    for (; c < end; ++c)
        mask |= static_cast<std::uint64_t>(pixelAt(row, c) != pixelAt(row, c - 1)) << (c - block);
    return mask;
}

}  // namespace

void RunSummer::prepare(const ItemLookup& lookup) {
    objectBase_.assign(lookup.first.begin(), lookup.first.end());
    objectSize_.clear();
    for (const std::vector<Triangle*>& tris : lookup.objects)
        objectSize_.push_back(static_cast<int>(tris.size()));
    const size_t slots = static_cast<size_t>(lookup.triangleCount);
    sums_.assign(slots, 0.0);
    touched_.assign((slots + 63) / 64, 0);
}

void RunSummer::flush(double* formFactors) {
    for (size_t word = 0; word < touched_.size(); ++word) {
        std::uint64_t bits = touched_[word];
        touched_[word] = 0;
        while (bits != 0) {
            const size_t s = word * 64 + static_cast<size_t>(lowestBit(bits));
            bits &= bits - 1;
            if (formFactors != nullptr) formFactors[s] += sums_[s];
            sums_[s] = 0.0;
        }
    }
}

const double* RunSummer::prefixFor(const double* weights, int h) {
    const size_t count = static_cast<size_t>(h) * static_cast<size_t>(h);
    for (const PrefixTable& t : prefixes_) {
        // The same table at the same place: its running sums still hold.
        if (t.source == weights && t.h == h &&
            std::memcmp(t.copy.data(), weights, count * sizeof(double)) == 0)
            return t.prefix.data();
    }
    if (prefixes_.size() >= 4) prefixes_.erase(prefixes_.begin());
    PrefixTable t;
    t.source = weights;
    t.h = h;
    t.copy.assign(weights, weights + count);
    t.prefix.resize(static_cast<size_t>(h) * static_cast<size_t>(h + 1));
    for (int i = 0; i < h; ++i) {
        double* row = t.prefix.data() + static_cast<size_t>(i) * static_cast<size_t>(h + 1);
        row[0] = 0.0;
        for (int j = 0; j < h; ++j) row[j + 1] = row[j] + weights[static_cast<size_t>(i) * h + j];
    }
    prefixes_.push_back(std::move(t));
    return prefixes_.back().prefix.data();
}

void RunSummer::addFace(const FaceRows& rows, const double* weights, int h, const ItemLookup& lookup) {
    if (rows.data == nullptr || weights == nullptr || h <= 0 || rows.width <= 0) return;
    const int n = rows.width;
    if (rows.bytesPerPixel != 4 || n != 2 * h) {
        // Pixel by pixel into the slots, every slot then counted as touched.
        sumFaceWeights(rows, weights, h, lookup, sums_.data());
        std::fill(touched_.begin(), touched_.end(), ~std::uint64_t{0});
        if (const size_t tail = sums_.size() % 64; tail != 0 && !touched_.empty())
            touched_.back() = (std::uint64_t{1} << tail) - 1;
        return;
    }
    const double* prefix = prefixFor(weights, h);
    const int objectCount = static_cast<int>(objectBase_.size());
    const int* base = objectBase_.data();
    const int* size = objectSize_.data();
    double* sums = sums_.data();
    std::uint64_t* touched = touched_.data();

    // With F the running sums of the folded table row, the sum of the
    // unfolded row's first c weights is F[c] for c <= h and 2 F[h] - F[2h - c]
    // past the middle (the mirror rule).
    const double* f = nullptr;
    auto runningSum = [&](int c) { return c <= h ? f[c] : 2.0 * f[h] - f[n - c]; };
    // A row is done in two passes: its runs are decoded first (and their
    // slots fetched into the cache, all at once), then added up. The slots
    // are mostly out of the cache after the face has been drawn, and
    // fetching a whole row's worth together overlaps the waits.
    runSlot_.resize(static_cast<size_t>(n));
    runWeight_.resize(static_cast<size_t>(n));
    int* runSlot = runSlot_.data();
    double* runWeight = runWeight_.data();
    int runs = 0;
    auto addRun = [&](std::uint32_t value, int from, int to) {
        std::uint8_t bytes[4];
        std::memcpy(bytes, &value, sizeof bytes);
        const int object = bytes[0];
        const int code = (bytes[1] << 8) | bytes[2];
        // Background, or a colour that names nothing: skipped.
        if (code == 0 || object >= objectCount || code > size[object]) return;
        const int slot = base[object] + code - 1;
#if defined(__GNUC__)
        __builtin_prefetch(sums + slot, 1);
#endif
        runSlot[runs] = slot;
        runWeight[runs] = runningSum(to) - runningSum(from);
        ++runs;
    };

    const size_t stride = static_cast<size_t>(n) * 4;
    for (int k = 0; k < rows.rowCount; ++k) {
        const std::uint8_t* row = rows.data + static_cast<size_t>(k) * stride;
        f = prefix + static_cast<size_t>(mirrorIndex(rows.firstRow + k, h)) * static_cast<size_t>(h + 1);
        runs = 0;
        std::uint32_t runValue = pixelAt(row, 0);
        int runStart = 0;
        // Run boundaries 64 columns at a time as a bit mask (a loop without
        // branches), then visited bit by bit.
        for (int block = 0; block < n; block += 64) {
            const int end = std::min(n, block + 64);
            std::uint64_t boundaries = boundaryMask(row, block, end);
            while (boundaries != 0) {
                const int c = block + lowestBit(boundaries);
                boundaries &= boundaries - 1;
                addRun(runValue, runStart, c);
                runValue = pixelAt(row, c);
                runStart = c;
            }
        }
        addRun(runValue, runStart, n);
        for (int r = 0; r < runs; ++r) {
            const int slot = runSlot[r];
            touched[slot >> 6] |= std::uint64_t{1} << (slot & 63);
            sums[slot] += runWeight[r];
        }
    }
}

void sumFaceRuns(const FaceRows& rows, const double* weights, int h, const ItemLookup& lookup,
                 double* formFactors) {
    RunSummer summer;
    summer.prepare(lookup);
    summer.addFace(rows, weights, h, lookup);
    summer.flush(formFactors);
}
