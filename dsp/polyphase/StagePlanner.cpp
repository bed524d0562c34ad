#include "dsp/polyphase/StagePlanner.hpp"

#include "dsp/polyphase/FftBranches.hpp"
#include "dsp/polyphase/FftConvolver.hpp"
#include "dsp/polyphase/FilterDesign.hpp"
#include "dsp/polyphase/PolyphaseBranches.hpp"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace {

constexpr int trials_per_bound = 100000;
// Common ratios find their plan at the first bound, odd ones within a few
// dozen; a ratio with a large prime factor and no affordable plan would
// otherwise go on raising the bound up to that prime.
constexpr std::int64_t max_bounds = 64;
constexpr std::int64_t no_plan_cost = std::int64_t(1) << 30;
// Stages considered for fast convolution.
constexpr int max_fft_branches = 16;
constexpr std::int64_t min_fft_taps = 64;
// A stage's transform buffers stay small beside the memory limits, so that
// fast convolution never makes a plan unfit that fits with dot products.
constexpr std::size_t max_fft_bytes = std::size_t(4) << 20;

// The divisors of the number whose prime factors (ascending, repeated) are
// given, in ascending order.
std::vector<std::int64_t> Divisors(const std::int64_t* factors, int count) {
    std::vector<std::int64_t> divisors{1};
    for (int i = 0; i < count;) {
        const std::int64_t p = factors[i];
        int power = 0;
        while (i < count && factors[i] == p) {
            ++power;
            ++i;
        }
        const std::size_t size = divisors.size();
        std::int64_t scale = 1;
        for (int e = 1; e <= power; ++e) {
            scale *= p;
            for (std::size_t j = 0; j < size; ++j) {
                divisors.push_back(divisors[j] * scale);
            }
        }
    }
    std::sort(divisors.begin(), divisors.end());
    return divisors;
}

std::size_t IndexOf(const std::vector<std::int64_t>& sorted, std::int64_t value) {
    return static_cast<std::size_t>(std::lower_bound(sorted.begin(), sorted.end(), value) -
                                    sorted.begin());
}

StagePlanner::SteepRole RoleOf(std::size_t stage, std::size_t steep) {
    if (stage < steep) {
        return StagePlanner::SteepRole::Before;
    }
    return stage == steep ? StagePlanner::SteepRole::Steep : StagePlanner::SteepRole::After;
}

// The search of PlanSteepStages. A state is the product a of the up factors
// and b of the down factors used so far, and whether the steep stage is
// among them; the stage rate there is a * M / b. Each state's cheapest way to
// the end is found once.
class SteepSearch {
public:
    SteepSearch(std::int64_t new_l, std::int64_t new_m,
                const StagePlanner::SteepStageCheck& new_allowed)
        : l(new_l), m(new_m), floor_rate(std::min(new_l, new_m)),
          nyquist(0.5 * static_cast<double>(std::min(new_l, new_m))), allowed(new_allowed) {
        std::int64_t factors[StagePlanner::max_list];
        ups = Divisors(factors, StagePlanner::Factor(l, factors));
        downs = Divisors(factors, StagePlanner::Factor(m, factors));
        states.resize(ups.size() * downs.size() * 2);
        scale = StagePlanner::BlockScale(l, m, true);
    }

    StagePlanner::SteepPlan Run() {
        StagePlanner::SteepPlan plan;
        const State& start = Solve(0, 0, false);
        if (!start.reachable) {
            return plan;
        }
        plan.cost = start.cost;
        std::size_t a = 0;
        std::size_t b = 0;
        bool done = false;
        while (ups[a] != l || downs[b] != m) {
            const State& s = states[Index(a, b, done)];
            plan.up.push_back(static_cast<int>(s.up));
            plan.down.push_back(static_cast<int>(s.down));
            if (s.role == StagePlanner::SteepRole::Steep) {
                plan.steep = plan.up.size() - 1;
            }
            done = done || s.role == StagePlanner::SteepRole::Steep;
            a = IndexOf(ups, ups[a] * s.up);
            b = IndexOf(downs, downs[b] * s.down);
        }
        return plan;
    }

private:
    struct State {
        bool solved = false;
        bool reachable = false;
        double cost = 0.0; // of the cheapest way from here to the end
        std::int64_t up = 1;
        std::int64_t down = 1;
        StagePlanner::SteepRole role = StagePlanner::SteepRole::Before;
    };

    std::size_t Index(std::size_t a, std::size_t b, bool done) const {
        return (a * downs.size() + b) * 2 + (done ? 1 : 0);
    }

    const State& Solve(std::size_t a, std::size_t b, bool done) {
        State& state = states[Index(a, b, done)];
        if (state.solved) {
            return state;
        }
        state.solved = true;
        const std::int64_t used_up = ups[a];
        const std::int64_t used_down = downs[b];
        if (used_up == l && used_down == m) {
            state.reachable = done;
            return state;
        }
        const std::int64_t rate = used_up * (m / used_down);
        const std::int64_t left_up = l / used_up;
        const std::int64_t left_down = m / used_down;
        for (const std::int64_t u : ups) {
            if (u > left_up) {
                break;
            }
            if (left_up % u != 0) {
                continue;
            }
            for (const std::int64_t d : downs) {
                if (d > left_down) {
                    break;
                }
                if (left_down % d != 0 || (u == 1 && d == 1) || rate / d * u < floor_rate) {
                    continue;
                }
                const std::size_t next_a = IndexOf(ups, used_up * u);
                const std::size_t next_b = IndexOf(downs, used_down * d);
                for (int r = done ? 2 : 0; r < (done ? 3 : 2); ++r) {
                    const auto role = static_cast<StagePlanner::SteepRole>(r);
                    const bool next_done = done || role == StagePlanner::SteepRole::Steep;
                    const StagePlanner::SteepStage filter = StagePlanner::SteepStageFilter(
                        rate, static_cast<int>(u), static_cast<int>(d), nyquist, role);
                    if (!allowed(rate, static_cast<int>(u), static_cast<int>(d), filter)) {
                        continue;
                    }
                    const State& rest = Solve(next_a, next_b, next_done);
                    if (!rest.reachable) {
                        continue;
                    }
                    const double cost =
                        StagePlanner::SteepStageForm(rate, static_cast<int>(u), static_cast<int>(d),
                                                     filter, scale)
                            .cost +
                        rest.cost;
                    // `state` stays valid: the states never move.
                    if (!state.reachable || cost < state.cost) {
                        state.reachable = true;
                        state.cost = cost;
                        state.up = u;
                        state.down = d;
                        state.role = role;
                    }
                }
            }
        }
        return state;
    }

    std::int64_t l;
    std::int64_t m;
    std::int64_t floor_rate;
    std::int64_t scale = 1;
    double nyquist;
    const StagePlanner::SteepStageCheck& allowed;
    std::vector<std::int64_t> ups;
    std::vector<std::int64_t> downs;
    std::vector<State> states;
};

} // namespace

const std::uint16_t StagePlanner::primes[169] = {
    2,   3,   5,   7,   11,  13,  17,  19,  23,  29,  31,  37,  41,  43,  47,  53,  59,  61,  67,
    71,  73,  79,  83,  89,  97,  101, 103, 107, 109, 113, 127, 131, 137, 139, 149, 151, 157, 163,
    167, 173, 179, 181, 191, 193, 197, 199, 211, 223, 227, 229, 233, 239, 241, 251, 257, 263, 269,
    271, 277, 281, 283, 293, 307, 311, 313, 317, 331, 337, 347, 349, 353, 359, 367, 373, 379, 383,
    389, 397, 401, 409, 419, 421, 431, 433, 439, 443, 449, 457, 461, 463, 467, 479, 487, 491, 499,
    503, 509, 521, 523, 541, 547, 557, 563, 569, 571, 577, 587, 593, 599, 601, 607, 613, 617, 619,
    631, 641, 643, 647, 653, 659, 661, 673, 677, 683, 691, 701, 709, 719, 727, 733, 739, 743, 751,
    757, 761, 769, 773, 787, 797, 809, 811, 821, 823, 827, 829, 839, 853, 857, 859, 863, 877, 881,
    883, 887, 907, 911, 919, 929, 937, 941, 947, 953, 967, 971, 977, 983, 991, 997, 0};

int StagePlanner::Factor(std::int64_t a, std::int64_t* factors) {
    int count = 0;
    for (int i = 0; primes[i] != 0 && a > 1; ++i) {
        const std::int64_t p = primes[i];
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

int StagePlanner::Group(const std::int64_t* factors, int count, int k, std::int64_t max_product,
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

std::int64_t StagePlanner::Cost(const std::vector<int>& up, const std::vector<int>& down,
                                std::int64_t up_factor, std::int64_t down_factor) {
    const std::size_t stages = std::max(up.size(), down.size());
    const std::int64_t floor_rate = std::min(up_factor, down_factor);
    std::int64_t rate = down_factor;
    std::int64_t cost = 0;
    for (std::size_t i = 0; i < stages; ++i) {
        const std::int64_t a = i < up.size() ? up[i] : 1;
        const std::int64_t b = i < down.size() ? down[i] : 1;
        rate = rate * a / b;
        if (rate < floor_rate) {
            return -1;
        }
        cost += a * b + rate;
    }
    return cost;
}

StagePlanner::Plan StagePlanner::PlanStages(std::int64_t up_factor, std::int64_t down_factor,
                                            PlannerRandom& random) {
    std::int64_t up_primes[max_list];
    std::int64_t down_primes[max_list];
    const int up_count = Factor(up_factor, up_primes);
    const int down_count = Factor(down_factor, down_primes);
    const int k = std::min(up_count, down_count) + 1;
    const std::int64_t floor_rate = std::min(up_factor, down_factor);

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

            // Costs only grow along the stages, so a trial that reaches the
            // best cost so far cannot win and is dropped early.
            std::int64_t rate = down_factor;
            std::int64_t cost = 0;
            bool kept = true;
            for (int i = 0; i < stages; ++i) {
                rate = rate * a[i] / b[i];
                if (rate < floor_rate) {
                    kept = false;
                    break;
                }
                cost += a[i] * b[i] + rate;
                if (cost >= best_cost) {
                    kept = false;
                    break;
                }
            }
            if (kept) {
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

StagePlanner::SteepStage StagePlanner::SteepStageFilter(std::int64_t rate, int up, int down,
                                                        double lower_nyquist, SteepRole role) {
    const double in_rate = static_cast<double>(rate);
    const double big_rate = in_rate * up;
    const double out_rate = big_rate / down;
    double stop = lower_nyquist;
    if (role == SteepRole::Before) {
        stop = out_rate - lower_nyquist;
    } else if (role == SteepRole::After) {
        stop = in_rate - lower_nyquist;
    }
    stop = std::min(stop, 0.5 * big_rate);
    const double pass = steep_filter::pass_edge * lower_nyquist;
    SteepStage stage{};
    stage.pass = pass / big_rate;
    stage.stop = stop / big_rate;
    stage.length = steep_filter::Length(up, stage.stop - stage.pass);
    stage.cutoff = static_cast<float>(stage.pass + stage.stop);
    return stage;
}

std::int64_t StagePlanner::BlockScale(std::int64_t up_factor, std::int64_t down_factor,
                                      bool steep) {
    const std::int64_t nominal_block = steep ? 8192 : 2048;
    return std::max<std::int64_t>(nominal_block / std::max(up_factor, down_factor), 1);
}

StagePlanner::SteepForm StagePlanner::SteepStageForm(std::int64_t rate, int up, int down,
                                                     const SteepStage& filter, std::int64_t scale) {
    const double out_rate = static_cast<double>(rate) * up / down;
    const std::int64_t taps = filter.length / up;
    // A table too large for its eight shifted copies makes the kernel load
    // its samples unaligned: that measured about 1.4 times the time per tap.
    const bool phased = PolyphaseBranches::PhasesFor(static_cast<std::size_t>(up),
                                                     static_cast<std::size_t>(taps)) > 1;
    SteepForm form{out_rate * static_cast<double>(taps + 8) * (phased ? 1.0 : 1.4), 0};
    // Each branch costs a transform per part of a block, so fast convolution
    // pays only for few branches of many taps.
    if (up <= max_fft_branches && taps >= min_fft_taps) {
        const std::size_t block = static_cast<std::size_t>(rate * scale);
        const FftBranches::Choice fft =
            FftBranches::Choose(static_cast<std::size_t>(taps), up, down, block);
        const double cost = fft.work / static_cast<double>(scale);
        const std::size_t bytes = sizeof(double) * FftConvolver::WorkLength(fft.length, up) +
                                  FftBranches::BytesFor(up, fft.length);
        if (fft.length != 0 && cost < form.cost && bytes <= max_fft_bytes) {
            form = {cost, fft.length};
        }
    }
    return form;
}

double StagePlanner::SteepCost(const std::vector<int>& up, const std::vector<int>& down,
                               std::int64_t up_factor, std::int64_t down_factor,
                               std::size_t steep) {
    const std::size_t stages = std::max(up.size(), down.size());
    if (steep >= stages) {
        return -1.0;
    }
    const std::int64_t floor_rate = std::min(up_factor, down_factor);
    const double nyquist = 0.5 * static_cast<double>(floor_rate);
    std::int64_t rate = down_factor;
    double cost = 0.0;
    for (std::size_t i = 0; i < stages; ++i) {
        const int a = i < up.size() ? up[i] : 1;
        const int b = i < down.size() ? down[i] : 1;
        const SteepStage filter = SteepStageFilter(rate, a, b, nyquist, RoleOf(i, steep));
        cost += SteepStageForm(rate, a, b, filter, BlockScale(up_factor, down_factor, true)).cost;
        // Divided first: the down factors divide the rates, and rate * up
        // could overflow for ratios of large primes.
        rate = rate / b * a;
        if (rate < floor_rate) {
            return -1.0;
        }
    }
    return cost;
}

StagePlanner::SteepPlan StagePlanner::PlanSteepStages(std::int64_t up_factor,
                                                      std::int64_t down_factor,
                                                      const SteepStageCheck& allowed) {
    return SteepSearch(up_factor, down_factor, allowed).Run();
}
