#pragma once

#include "dsp/polyphase/PlannerRandom.hpp"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

// Splits a reduced rate ratio L/M (L up, M down, coprime) into a cascade of
// stages, stage i interpolating by up[i] and decimating by down[i], with the
// product of the ups equal to L and of the downs equal to M.
//
// The stages come from a randomised search over groupings of the prime
// factors of L and M that minimises an estimate of the work: a stage costs
// up * down plus the rate it produces, rates counted in units of
// input rate / M, and no stage may bring the rate below min(L, M). The
// search draws from the C library's rand() sequence (PlannerRandom); among
// plans of equal cost the first one drawn wins. It tries at most 64 bounds on the grouped factors
// (1 for common ratios): beyond that it gives up and finds no plan.
// ResamplePlan seeds the generator, runs the search once per ratio and keeps
// the result, so that all resamplers of a ratio share one cascade.
class StagePlanner {
public:
    struct Plan {
        std::vector<int> up;
        std::vector<int> down;
        std::int64_t cost = 0; // 0 when the search found nothing
    };

    // Lists hold at most this many entries: a 32-bit value has at most 31
    // prime factors, plus the ones that pad a short list.
    static constexpr int max_list = 64;

    // The randomised search, drawing from `random`. The result has empty
    // lists when no plan was found.
    static Plan PlanStages(std::int64_t up_factor, std::int64_t down_factor, PlannerRandom& random);

    // Writes the prime factors of a (a >= 1) in ascending order, repeated
    // as often as they divide, and returns their count (0 for a = 1). A
    // remainder with no factor below 1000 is taken as one last factor.
    static int Factor(std::int64_t a, std::int64_t* factors);

    // Pads factors[0 .. count-1] with leading ones up to k entries, shuffles
    // them and merges neighbours at random while their product stays within
    // max_product. Writes the stage factors to out and returns their count.
    static int Group(const std::int64_t* factors, int count, int k, std::int64_t max_product,
                     std::int64_t* out, PlannerRandom& random);

    // The cost of a plan for L/M, or -1 when a stage takes the rate below
    // min(L, M). The shorter list counts as padded with ones.
    static std::int64_t Cost(const std::vector<int>& up, const std::vector<int>& down,
                             std::int64_t up_factor, std::int64_t down_factor);

    // The steep family of filters (FilterSetting::Steep), rates in the same
    // units of input rate / M, in which every stage's rates are whole
    // numbers. With F = min(L, M) / 2, the lower Nyquist frequency, one stage
    // is the steep one: its stopband starts at F. A stage before it may let
    // through whatever its decimation folds no lower than F, since the steep
    // stage removes that: it stops at q - F, q its output rate. A stage after
    // it sees nothing above F but its own images, which start at r - F, r its
    // input rate. Every stage passes up to steep_filter::pass_edge * F, and
    // stops at most at half its interpolated rate.
    enum class SteepRole { Before, Steep, After };
    struct SteepStage {
        std::int64_t length; // an even multiple of up, by steep_filter::Length
        float cutoff;        // mid-transition, relative to half the interpolated rate
        double pass;         // the edges, as fractions of the interpolated rate
        double stop;
    };
    static SteepStage SteepStageFilter(std::int64_t rate, int up, int down, double lower_nyquist,
                                       SteepRole role);

    // A steep cascade: the factors and which stage is the steep one.
    struct SteepPlan {
        std::vector<int> up;
        std::vector<int> down;
        std::size_t steep = 0;
        double cost = 0; // 0 when the search found nothing
    };

    // Input samples of a stage's blocks per unit of its rate (rates in
    // units of input rate / M): blocks hold about 2048 samples at the larger
    // end of the ratio, four times that for the steep filter, whose stages
    // of many branches then serve more outputs from each row of taps and
    // whose transforms fit their parts better.
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
    struct SteepForm {
        double cost;
        std::size_t fft_length; // 0: direct
    };
    static SteepForm SteepStageForm(std::int64_t rate, int up, int down, const SteepStage& filter,
                                    std::int64_t scale);

    // The work of a steep cascade: the sum over its stages of the cost of
    // their SteepStageForm. -1 when a stage takes the rate below min(L, M) or when `steep` is
    // past the last stage. The shorter list counts as padded with ones.
    static double SteepCost(const std::vector<int>& up, const std::vector<int>& down,
                            std::int64_t up_factor, std::int64_t down_factor, std::size_t steep);

    // Whether a candidate stage, taking `rate` and interpolating by up and
    // decimating by down with the given filter, may be used at all (its
    // filter and buffers within the memory limits).
    using SteepStageCheck =
        std::function<bool(std::int64_t rate, int up, int down, const SteepStage& filter)>;

    // The cheapest steep cascade by SteepCost over every ordered split of L
    // and M into stage factors and every choice of the steep stage, among
    // stages that `allowed` accepts and that keep the rate at or above
    // min(L, M). Deterministic: a shortest path over the pairs of divisors
    // already used, so its work grows with the number of divisors of L and
    // M, not with the number of cascades; ties go to the first found in
    // ascending order of the factors. Empty lists when nothing is allowed.
    static SteepPlan PlanSteepStages(std::int64_t up_factor, std::int64_t down_factor,
                                     const SteepStageCheck& allowed);

    // The primes below 1000, ascending, followed by 0.
    static const std::uint16_t primes[169];
};
