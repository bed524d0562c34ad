#include "dsp/polyphase/SteepSearch.hpp"

#include "dsp/polyphase/DesignedSearch.hpp"
#include "dsp/polyphase/FftBranches.hpp"
#include "dsp/polyphase/FftConvolver.hpp"
#include "dsp/polyphase/PolyphaseBranches.hpp"

#include <algorithm>

namespace {

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

// The search of SteepSearch::PlanStages. A state is the product a of the up factors
// and b of the down factors used so far, and whether the steep stage is
// among them; the stage rate there is a * M / b. Each state's cheapest way to
// the end is found once.
class Solver {
public:
    Solver(std::int64_t new_l, std::int64_t new_m, const SteepSearch::StageCheck& new_allowed)
        : l(new_l), m(new_m), floor_rate(std::min(new_l, new_m)),
          nyquist(0.5 * static_cast<double>(std::min(new_l, new_m))), allowed(new_allowed) {
        std::int64_t factors[DesignedSearch::max_list];
        ups = Divisors(factors, DesignedSearch::Factor(l, factors));
        downs = Divisors(factors, DesignedSearch::Factor(m, factors));
        states.resize(ups.size() * downs.size() * 2);
        scale = SteepSearch::BlockScale(l, m, true);
    }

    SteepSearch::Plan Run() {
        SteepSearch::Plan plan;
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
            if (s.role == steep_filter::Role::Steep) {
                plan.steep = plan.up.size() - 1;
            }
            done = done || s.role == steep_filter::Role::Steep;
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
        steep_filter::Role role = steep_filter::Role::Before;
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
                    const auto role = static_cast<steep_filter::Role>(r);
                    const bool next_done = done || role == steep_filter::Role::Steep;
                    const steep_filter::Stage filter = steep_filter::StageFilter(
                        rate, static_cast<int>(u), static_cast<int>(d), nyquist, role);
                    if (!allowed(rate, static_cast<int>(u), static_cast<int>(d), filter)) {
                        continue;
                    }
                    const State& rest = Solve(next_a, next_b, next_done);
                    if (!rest.reachable) {
                        continue;
                    }
                    const double cost = SteepSearch::StageForm(rate, static_cast<int>(u),
                                                               static_cast<int>(d), filter, scale)
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
    const SteepSearch::StageCheck& allowed;
    std::vector<std::int64_t> ups;
    std::vector<std::int64_t> downs;
    std::vector<State> states;
};

} // namespace

std::int64_t SteepSearch::BlockScale(std::int64_t up_factor, std::int64_t down_factor, bool steep) {
    const std::int64_t nominal_block = steep ? 8192 : 2048;
    return std::max<std::int64_t>(nominal_block / std::max(up_factor, down_factor), 1);
}

SteepSearch::Form SteepSearch::StageForm(std::int64_t rate, int up, int down,
                                         const steep_filter::Stage& filter, std::int64_t scale) {
    const double out_rate = static_cast<double>(rate) * up / down;
    const std::int64_t taps = filter.length / up;
    // A table too large for its eight shifted copies makes the kernel load
    // its samples unaligned: that measured about 1.4 times the time per tap.
    const bool phased = PolyphaseBranches::PhasesFor(static_cast<std::size_t>(up),
                                                     static_cast<std::size_t>(taps)) > 1;
    Form form{out_rate * static_cast<double>(taps + 8) * (phased ? 1.0 : 1.4), 0};
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

double SteepSearch::Cost(const std::vector<int>& up, const std::vector<int>& down,
                         std::int64_t up_factor, std::int64_t down_factor, std::size_t steep) {
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
        const steep_filter::Stage filter =
            steep_filter::StageFilter(rate, a, b, nyquist, steep_filter::RoleOf(i, steep));
        cost += StageForm(rate, a, b, filter, BlockScale(up_factor, down_factor, true)).cost;
        // Divided first: the down factors divide the rates, and rate * up
        // could overflow for ratios of large primes.
        rate = rate / b * a;
        if (rate < floor_rate) {
            return -1.0;
        }
    }
    return cost;
}

SteepSearch::Plan SteepSearch::PlanStages(std::int64_t up_factor, std::int64_t down_factor,
                                          const StageCheck& allowed) {
    return Solver(up_factor, down_factor, allowed).Run();
}
