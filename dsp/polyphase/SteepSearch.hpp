#pragma once

#include "dsp/polyphase/FilterDesign.hpp"
#include "dsp/polyphase/StageFactors.hpp"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

// Splits a reduced rate ratio L/M into a cascade of stages for the steep
// filters (steep_filter), one of them the steep stage, by an exact search
// that costs direct and fast-convolution stages alike. Rates are in units of
// input rate / M.
class SteepSearch {
public:
    // A steep cascade: the factors and which stage is the steep one.
    struct Plan : StageFactors {
        std::size_t steep = 0;
        double cost = 0; // 0 when the search found nothing
    };

    // Input samples of a stage's blocks per unit of its rate: blocks hold
    // about 2048 samples at the larger end of the ratio, four times that for
    // the steep filter, whose stages of many branches then serve more outputs
    // from each row of taps and whose transforms fit their parts better.
    static std::int64_t BlockScale(std::int64_t up_factor, std::int64_t down_factor,
                                   bool steep = false);

    // How a steep stage forms its sums, and the work per unit of rate: the
    // direct kernel costs output rate times (taps per branch + 8), the 8
    // standing for the kernel's rounding of every row up to whole vectors,
    // and times 1.4 for a stage whose table is stored once instead of in
    // eight shifted copies (PolyphaseBranches): its sample loads are
    // unaligned, which measured that much slower per tap. Fast convolution
    // costs what FftBranches::Choose estimates for the stage's blocks
    // (`scale` by BlockScale); the cheaper one is taken.
    struct Form {
        double cost;
        std::size_t fft_length; // 0: direct
    };
    static Form StageForm(std::int64_t rate, int up, int down, const steep_filter::Stage& filter,
                          std::int64_t scale);

    // The work of a steep cascade: the sum over its stages of the cost of
    // their StageForm. -1 when a stage takes the rate below min(L, M) or when `steep` is
    // past the last stage. The shorter list counts as padded with ones.
    static double Cost(const std::vector<int>& up, const std::vector<int>& down,
                       std::int64_t up_factor, std::int64_t down_factor, std::size_t steep);

    // Whether a candidate stage, taking `rate` and interpolating by up and
    // decimating by down with the given filter, may be used at all (its
    // filter and buffers within the memory limits).
    using StageCheck =
        std::function<bool(std::int64_t rate, int up, int down, const steep_filter::Stage& filter)>;

    // The cheapest steep cascade by Cost over every ordered split of L
    // and M into stage factors and every choice of the steep stage, among
    // stages that `allowed` accepts and that keep the rate at or above
    // min(L, M). Deterministic: a shortest path over the pairs of divisors
    // already used, so its work grows with the number of divisors of L and
    // M, not with the number of cascades; ties go to the first found in
    // ascending order of the factors. Empty lists when nothing is allowed.
    static Plan PlanStages(std::int64_t up_factor, std::int64_t down_factor,
                           const StageCheck& allowed);
};
