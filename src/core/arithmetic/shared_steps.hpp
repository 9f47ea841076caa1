// A Krylov sequence on a forest's factors (arithmetic/unit_forest) that a
// second thread may join: the thread running the sequence (its owner) offers
// each step's second half, and a thread with nothing else to do takes those
// halves until the sequence ends, so that a group of primes left to one
// worker while the others idle finishes in about half the time. The owner
// takes a half itself when no helper has taken it yet, so that a slow or
// absent helper never holds a step up by more than a half. Halves need the
// other half's last values at every step: where the processors pass them
// slowly (virtual machines whose processors share caches poorly), halves
// can take longer than the step alone, so the owner times its steps and, when
// halves come out no faster than nine tenths of its steps alone (twice in a
// row, over 64 steps each), declines the help for the rest of the sequence.
// The vectors and terms are the same whoever takes the halves (modular
// arithmetic is exact).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "arithmetic/unit_forest.hpp"

namespace skeinlab {

class SharedSteps {
public:
    // `decline_above`: the share of its steps' time alone above which the
    // owner declines halves (tests give 0 to decline them at once).
    explicit SharedSteps(double decline_above = 0.9) : decline_above_(decline_above) {}

    // Owner: y = A^-1 A1 w and the terms, as forest.step(), in halves while a
    // helper has joined.
    void step(const UnitForest& forest, const LaneModuli& m, const double* u, const std::vector<double>& u_anchors,
              const UnitForest::Vector& w, UnitForest::Vector& y, std::uint64_t* terms);
    // Owner: the sequence is over (or abandoned: call it before its vectors
    // go, and also when it never began); returns once no helper is inside a
    // half. A second call does nothing.
    void end();

    // Owner: the sequence is taken (its steps follow, then end()); before,
    // it is not open to helpers, who would wait on a thread that may never
    // come.
    void begin() { begun_.store(true); }
    // Whether a helper may join: begun, not ended, no one helping, and help
    // not declined.
    bool open() const;
    // Whether the owner has declined the halves.
    bool declined() const { return declined_.load(); }
    // Helper: takes the steps' second halves until the owner ends or
    // declines them, or until `leave()` (asked between steps) says there is
    // other work; returns false then, true otherwise (also at once when
    // another thread helps already or the sequence is over).
    bool help(const std::function<bool()>& leave);

private:
    struct Job {
        const UnitForest* forest = nullptr;
        LaneModuli m{};
        const double* u = nullptr;
        const UnitForest::Vector* w = nullptr;
        UnitForest::Vector* y = nullptr;
    };
    Job job_;  // the step published last; read by a helper that took its half
    double sums_[UnitForest::kHalves * 4] = {};
    std::uint64_t steps_ = 0;                 // steps published (owner's count)
    // The owner's timing: steps alone and the time of its latest ones (an
    // average, seconds), halved steps since the last comparison and theirs,
    // comparisons slow in a row.
    double decline_above_;
    std::uint64_t alone_ = 0, halved_ = 0, slow_ = 0;
    double alone_time_ = 0, halved_time_ = 0;
    std::atomic<std::uint64_t> published_{0};  // the last step offered
    std::atomic<std::uint64_t> taken_{0};      // the last step whose second half was taken (by either)
    std::atomic<std::uint64_t> finished_{0};   // the last step whose half the helper finished
    std::atomic<bool> begun_{false}, helped_{false}, ended_{false}, inside_{false}, declined_{false};
};

}  // namespace skeinlab
