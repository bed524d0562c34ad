#include "dsp/polyphase/DesignedSearch.hpp"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <utility>

namespace {

constexpr int trials_per_bound = 100000;
// Common ratios find their plan at the first bound, odd ones within a few
// dozen; a ratio with a large prime factor and no affordable plan would
// otherwise go on raising the bound up to that prime.
constexpr std::int64_t max_bounds = 64;
constexpr std::int64_t no_plan_cost = std::int64_t(1) << 30;

// The cost of the stages a[i]/b[i], or -1 when one takes the rate below
// min(L, M) or the cost reaches `bound`: costs only grow along the stages, so
// a search drops a trial as soon as it cannot beat the best one so far.
std::int64_t CostBelow(const std::int64_t* a, const std::int64_t* b, std::size_t stages,
                       std::int64_t up_factor, std::int64_t down_factor, std::int64_t bound) {
    const std::int64_t floor_rate = std::min(up_factor, down_factor);
    std::int64_t rate = down_factor;
    std::int64_t cost = 0;
    for (std::size_t i = 0; i < stages; ++i) {
        rate = rate * a[i] / b[i];
        if (rate < floor_rate) {
            return -1;
        }
        cost += a[i] * b[i] + rate;
        if (cost >= bound) {
            return -1;
        }
    }
    return cost;
}

} // namespace

int DesignedSearch::Factor(std::int64_t a, std::int64_t* factors) {
    int count = 0;
    // Trial division: a composite p never divides what its own prime
    // factors have left.
    for (std::int64_t p = 2; p < 1000 && a > 1; ++p) {
        while (a % p == 0) {
            factors[count++] = p;
            a /= p;
        }
    }
    if (a > 1) {
        factors[count++] = a;
    }
    return count;
}

int DesignedSearch::Group(const std::int64_t* factors, int count, int k, std::int64_t max_product,
                          std::int64_t* out, PlannerRandom& random) {
    std::int64_t list[max_list];
    int n = 0;
    for (; n < k - count; ++n) {
        list[n] = 1;
    }
    for (int i = 0; i < count; ++i) {
        list[n++] = factors[i];
    }
    if (n <= 1) {
        std::copy(list, list + n, out);
        return n;
    }

    for (int i = n; i >= 2; --i) {
        // Two draws, low part first: RAND_MAX may be as small as 32767.
        const unsigned low = static_cast<unsigned>(random.Next() % 32768);
        const unsigned high = static_cast<unsigned>(random.Next() % 32768);
        const unsigned j = (low + high * 8192u) % static_cast<unsigned>(i);
        if (j != static_cast<unsigned>(i - 1)) {
            std::swap(list[i - 1], list[j]);
        }
    }

    int emitted = 0;
    std::int64_t current = list[0];
    for (int i = 1; i < n; ++i) {
        const std::int64_t d = list[i];
        if (current * d <= max_product && (random.Next() & 1) != 0) {
            current *= d;
        } else {
            out[emitted++] = current;
            current = d;
        }
    }
    out[emitted++] = current;
    return emitted;
}

std::int64_t DesignedSearch::Cost(const std::vector<int>& up, const std::vector<int>& down,
                                  std::int64_t up_factor, std::int64_t down_factor) {
    const std::size_t stages = std::max(up.size(), down.size());
    std::vector<std::int64_t> a(up.begin(), up.end());
    std::vector<std::int64_t> b(down.begin(), down.end());
    a.resize(stages, 1);
    b.resize(stages, 1);
    return CostBelow(a.data(), b.data(), stages, up_factor, down_factor,
                     std::numeric_limits<std::int64_t>::max());
}

DesignedSearch::Plan DesignedSearch::PlanStages(std::int64_t up_factor, std::int64_t down_factor,
                                                PlannerRandom& random) {
    std::int64_t up_primes[max_list];
    std::int64_t down_primes[max_list];
    const int up_count = Factor(up_factor, up_primes);
    const int down_count = Factor(down_factor, down_primes);
    const int k = std::min(up_count, down_count) + 1;
    std::int64_t first_bound = 9;
    std::int64_t last_bound = 9;
    if (down_count > 0) {
        first_bound = std::max<std::int64_t>(9, down_primes[0]);
        last_bound = down_primes[down_count - 1] + 9;
    }

    std::int64_t best_cost = no_plan_cost;
    std::int64_t best_up[max_list];
    std::int64_t best_down[max_list];
    int best_stages = 0;

    last_bound = std::min(last_bound, first_bound + max_bounds - 1);
    for (std::int64_t max_product = first_bound; max_product <= last_bound && best_stages == 0;
         ++max_product) {
        for (int trial = 0; trial < trials_per_bound; ++trial) {
            std::int64_t a[max_list];
            std::int64_t b[max_list];
            const int na = Group(up_primes, up_count, k, max_product, a, random);
            const int nb = Group(down_primes, down_count, k, max_product, b, random);
            const int stages = std::max(na, nb);
            std::fill(a + na, a + stages, 1);
            std::fill(b + nb, b + stages, 1);

            const std::int64_t cost = CostBelow(a, b, static_cast<std::size_t>(stages), up_factor,
                                                down_factor, best_cost);
            if (cost >= 0) {
                best_cost = cost;
                best_stages = stages;
                std::copy(a, a + stages, best_up);
                std::copy(b, b + stages, best_down);
            }
        }
    }

    Plan plan;
    if (best_stages > 0) {
        plan.up.assign(best_up, best_up + best_stages);
        plan.down.assign(best_down, best_down + best_stages);
        plan.cost = best_cost;
    }
    return plan;
}
