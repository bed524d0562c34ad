#pragma once

#include "dsp/polyphase/PlannerRandom.hpp"
#include "dsp/polyphase/StageFactors.hpp"

#include <cstdint>
#include <vector>

// Splits a reduced rate ratio L/M (L up, M down, coprime) into a cascade of
// stages for the designed filters, stage i interpolating by up[i] and
// decimating by down[i], with the product of the ups equal to L and of the
// downs equal to M.
//
// The stages come from a randomised search over groupings of the prime
// factors of L and M that minimises an estimate of the work: a stage costs
// up * down plus the rate it produces, rates counted in units of
// input rate / M, and no stage may bring the rate below min(L, M). The
// search draws from the C library's rand() sequence (PlannerRandom); among
// plans of equal cost the first one drawn wins. It tries at most 64 bounds on the grouped factors
// (1 for common ratios): beyond that it gives up and finds no plan.
// The plan cache seeds the generator, runs the search once per ratio and
// keeps the result, so that all resamplers of a ratio share one cascade.
class DesignedSearch {
public:
    struct Plan : StageFactors {
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
};
