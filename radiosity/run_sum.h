#pragma once

#include <cstdint>
#include <vector>

#include "radiosity/item_code.h"

// The fast path's summing of read-back faces, with the same result as
// sumFaceWeights up to the order of the additions. A row is walked as runs
// of identical pixels (a triangle covers neighbouring pixels): the run
// boundaries are found as bit masks, a run's weight is the difference of two
// running sums of its table row, and it is added, by direct indexing, to a
// dense array with one slot per triangle of the scene (its scene index).
// flush() adds the slots a face touched to a FormFactors array, in index
// order, so each face's sum reaches a triangle's form factor as one addition.
//
// The running sums are kept per table and made again when the table's
// address, size or contents change.
class RunSummer {
  public:
    // Makes the slots for the triangles the lookup names.
    void prepare(const ItemLookup& lookup);

    // Adds one face. RGBA rows of width 2h take the run walk and wait for
    // flush(); other layouts go straight to sumFaceWeights.
    void addFace(const FaceRows& rows, const double* weights, int h, const ItemLookup& lookup);

    // Adds the gathered sums to formFactors (lookup.triangleCount entries,
    // indexed by scene index) and clears them.
    void flush(double* formFactors);

  private:
    // Running sums of each row of a weight table, H + 1 per row, kept with a
    // copy of the table they were made from.
    struct PrefixTable {
        const double* source = nullptr;
        int h = 0;
        std::vector<double> copy;
        std::vector<double> prefix;
    };
    const double* prefixFor(const double* weights, int h);

    std::vector<PrefixTable> prefixes_;
    std::vector<int> objectBase_;         // first slot of each object
    std::vector<int> objectSize_;         // triangles each object has in the lookup
    std::vector<double> sums_;            // slot -> weight gathered since the last flush
    std::vector<std::uint64_t> touched_;  // one bit per slot gathered since the last flush
    std::vector<int> runSlot_;            // the runs of one row: slot and weight
    std::vector<double> runWeight_;
};

// One face through a fresh RunSummer, into formFactors.
void sumFaceRuns(const FaceRows& rows, const double* weights, int h, const ItemLookup& lookup,
                 double* formFactors);
