#include "dsp/polyphase/ResamplePlan.hpp"

#include "dsp/polyphase/FftConvolver.hpp"
#include "dsp/polyphase/FilterDesign.hpp"
#include "dsp/polyphase/PolyphaseBranches.hpp"
#include "dsp/polyphase/PolyphaseStage.hpp"
#include "dsp/polyphase/StagePlanner.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <map>
#include <mutex>
#include <numeric>
#include <stdexcept>
#include <tuple>
#include <utility>

namespace {

// A handful of rate pairs per run is normal; the bound only keeps a
// pathological caller from growing the cache without limit.
constexpr std::size_t max_cached_plans = 256;
constexpr std::uint64_t saturated = std::numeric_limits<std::uint64_t>::max();

std::uint64_t Add(std::uint64_t a, std::uint64_t b) {
    std::uint64_t sum = 0;
    return __builtin_add_overflow(a, b, &sum) ? saturated : sum;
}

std::uint64_t Multiply(std::uint64_t a, std::uint64_t b) {
    std::uint64_t product = 0;
    return __builtin_mul_overflow(a, b, &product) ? saturated : product;
}

std::string Mebibytes(std::uint64_t bytes) {
    return std::to_string(bytes / 1048576 + (bytes % 1048576 != 0 ? 1 : 0)) + " MiB";
}

std::string Rates(int input_rate, int output_rate) {
    return "cannot resample " + std::to_string(input_rate) + " Hz to " +
           std::to_string(output_rate) + " Hz: ";
}

struct Cached {
    std::shared_ptr<const ResamplePlan> plan;
    std::string refusal; // when plan is null
};

// Input samples of stage 0's blocks per unit of rate (input rate / M).
std::uint64_t BlockScale(std::int64_t up_factor, std::int64_t down_factor, FilterSetting setting) {
    return static_cast<std::uint64_t>(
        StagePlanner::BlockScale(up_factor, down_factor, setting == FilterSetting::Steep));
}

// The searched cascade for the designed filters, seeded from the calendar
// clock in whole seconds.
std::shared_ptr<const ResamplePlan> SearchDesigned(std::int64_t up_factor,
                                                   std::int64_t down_factor) {
    PlannerRandom random(static_cast<unsigned>(std::time(nullptr)));
    StagePlanner::Plan factors = StagePlanner::PlanStages(up_factor, down_factor, random);
    if (factors.up.empty()) {
        return nullptr;
    }
    return std::make_shared<const ResamplePlan>(up_factor, down_factor, factors.up, factors.down);
}

// The searched cascade for the steep filters, among stages that fit the
// limits on their own.
std::shared_ptr<const ResamplePlan> SearchSteep(std::int64_t up_factor, std::int64_t down_factor) {
    const std::uint64_t scale = BlockScale(up_factor, down_factor, FilterSetting::Steep);
    auto fits = [scale](std::int64_t rate, int up, int, const StagePlanner::SteepStage& filter) {
        if (filter.length > std::numeric_limits<int>::max()) {
            return false;
        }
        const std::size_t taps = static_cast<std::size_t>(filter.length / up);
        const std::uint64_t block = Multiply(scale, static_cast<std::uint64_t>(rate));
        const std::uint64_t buffer =
            block == saturated ? saturated : PolyphaseStage::BufferLength(taps, block);
        return Multiply(buffer, sizeof(double)) <= ResamplePlan::max_state_bytes &&
               PolyphaseBranches::BytesFor(static_cast<std::size_t>(up), taps) <=
                   static_cast<double>(ResamplePlan::max_table_bytes);
    };
    StagePlanner::SteepPlan factors = StagePlanner::PlanSteepStages(up_factor, down_factor, fits);
    if (factors.up.empty()) {
        return nullptr;
    }
    return std::make_shared<const ResamplePlan>(up_factor, down_factor, factors.up, factors.down,
                                                FilterSetting::Steep, factors.steep);
}

// The plan for L/M, or the reason none fits. Callers hold the cache's lock.
Cached Make(std::int64_t up_factor, std::int64_t down_factor, FilterSetting setting) {
    // Every plan holds an input and an output block: ratios that make those
    // alone too large are refused before the search, which is slow on them.
    const std::uint64_t blocks =
        Multiply(Multiply(static_cast<std::uint64_t>(up_factor + down_factor),
                          BlockScale(up_factor, down_factor, setting)),
                 sizeof(double));
    if (blocks > ResamplePlan::max_state_bytes) {
        return {nullptr, "each channel would need " + Mebibytes(blocks) +
                             " of buffers, more than the " +
                             Mebibytes(ResamplePlan::max_state_bytes) + " allowed"};
    }

    const auto plan = setting == FilterSetting::Steep ? SearchSteep(up_factor, down_factor)
                                                      : SearchDesigned(up_factor, down_factor);
    if (plan && plan->Unfit().empty()) {
        return {plan, {}};
    }
    // The plan of last resort: no search found one, or the searched cascade's
    // intermediate blocks are too large (an odd ratio such as 44101/44100
    // would need 2 GB) while one stage fits.
    auto single = std::make_shared<const ResamplePlan>(
        up_factor, down_factor, std::vector<int>{static_cast<int>(up_factor)},
        std::vector<int>{static_cast<int>(down_factor)}, setting);
    std::string reason = single->Unfit();
    if (!reason.empty()) {
        return {nullptr, reason};
    }
    return {single, {}};
}

} // namespace

ResamplePlan::ResamplePlan(std::int64_t up, std::int64_t down, const std::vector<int>& ups,
                           const std::vector<int>& downs, FilterSetting new_setting,
                           std::size_t steep_stage)
    : up_factor(up), down_factor(down), ratio(static_cast<double>(up) / static_cast<double>(down)),
      setting(new_setting) {
    const std::size_t count = std::max(ups.size(), downs.size());
    if (count == 0) {
        return;
    }
    const bool steep = setting == FilterSetting::Steep;
    cost = steep ? static_cast<std::int64_t>(std::llround(
                       StagePlanner::SteepCost(ups, downs, up_factor, down_factor, steep_stage)))
                 : StagePlanner::Cost(ups, downs, up_factor, down_factor);
    const double lower_nyquist = 0.5 * static_cast<double>(std::min(up_factor, down_factor));
    std::int64_t stage_rate = down_factor; // a stage's input rate, in units of input rate / M
    std::uint64_t block = Multiply(static_cast<std::uint64_t>(down_factor),
                                   BlockScale(up_factor, down_factor, setting));
    double delay = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        Stage stage{};
        stage.up = i < ups.size() ? ups[i] : 1;
        stage.down = i < downs.size() ? downs[i] : 1;
        if (steep) {
            const StagePlanner::SteepRole role =
                i < steep_stage ? StagePlanner::SteepRole::Before
                                : (i == steep_stage ? StagePlanner::SteepRole::Steep
                                                    : StagePlanner::SteepRole::After);
            const StagePlanner::SteepStage filter = StagePlanner::SteepStageFilter(
                stage_rate, stage.up, stage.down, lower_nyquist, role);
            stage.length = filter.length;
            stage.cutoff = filter.cutoff;
            stage.window = FilterWindow::Kaiser;
            stage.pass = filter.pass;
            stage.stop = filter.stop;
            stage.fft_length =
                StagePlanner::SteepStageForm(stage_rate, stage.up, stage.down, filter,
                                             StagePlanner::BlockScale(up, down, true))
                    .fft_length;
        } else {
            stage.length = StageFilterLength(stage.up, stage.down);
            stage.cutoff = cutoff_factor / static_cast<float>(std::max(stage.up, stage.down));
            stage.window = FilterWindow::Nuttall;
        }
        stage_rate = stage_rate / stage.down * stage.up; // exact, and no overflow: down divides it
        stage.taps = static_cast<std::size_t>(stage.length / stage.up);
        stage.block_length = block;
        // Exact: every block is a multiple of the stage's down factor.
        block = block == saturated ? saturated
                                   : Multiply(block, static_cast<std::uint64_t>(stage.up)) /
                                         static_cast<std::uint64_t>(stage.down);
        stage.output_length = block;
        // Each filter delays by n/2 samples at its interpolated rate; the
        // sum is kept doubled, in samples at this stage's output rate.
        delay = (delay * stage.up + static_cast<double>(stage.length)) / stage.down;

        const std::uint64_t buffer =
            stage.block_length == saturated
                ? saturated
                : PolyphaseStage::BufferLength(stage.taps, stage.block_length);
        state_bytes = Add(state_bytes, Multiply(buffer, sizeof(double)));
        double table = PolyphaseBranches::BytesFor(static_cast<std::size_t>(stage.up), stage.taps);
        if (stage.fft_length != 0) {
            state_bytes = Add(state_bytes, FftConvolver::WorkLength(stage.fft_length, stage.up) *
                                               sizeof(double));
            table += static_cast<double>(FftBranches::BytesFor(stage.up, stage.fft_length));
        }
        table_bytes =
            Add(table_bytes, table >= 1.8e19 ? saturated : static_cast<std::uint64_t>(table));
        stages.push_back(stage);
    }
    if (steep && steep_stage < stages.size()) {
        // Each sample of shift at the steep stage's interpolated rate delays
        // the output by `gain` output samples. The latency goes to the nearest
        // whole number, so the shift stays within half an output sample.
        double gain = 1.0 / stages[steep_stage].down;
        for (std::size_t i = steep_stage + 1; i < stages.size(); ++i) {
            gain = gain * stages[i].up / stages[i].down;
        }
        const double whole = std::round(delay * 0.5);
        stages[steep_stage].shift = (whole - delay * 0.5) / gain;
        skip = static_cast<std::size_t>(whole);
    } else {
        skip = static_cast<std::size_t>(delay * 0.5);
    }
    output_block_length = block;

    // A stage's state at a block boundary is the history of its last `taps`
    // inputs; those depend on its input since `taps` samples earlier, so on
    // the preceding stages' spans back to the resampler's input. The primed
    // blocks must also yield the `skip` outputs that a fresh resampler drops.
    double span = 0.0; // input samples the stages' histories depend on
    double rate = 1.0; // a stage's input rate over the resampler's
    for (const Stage& stage : stages) {
        span += std::ceil(static_cast<double>(stage.taps + 1) / rate);
        rate = rate * stage.up / stage.down;
    }
    const double first_block = static_cast<double>(stages.front().block_length);
    const double blocks =
        std::max(std::ceil((span + 1.0) / first_block),
                 std::ceil(static_cast<double>(skip) / static_cast<double>(output_block_length)));
    priming_length = static_cast<std::size_t>(std::min(blocks * first_block, 1e18));
    state_bytes = Add(state_bytes, Multiply(block, sizeof(double)));
}

std::string ResamplePlan::Unfit() const {
    if (state_bytes > max_state_bytes) {
        return "each channel would need " + Mebibytes(state_bytes) + " of buffers, more than the " +
               Mebibytes(max_state_bytes) + " allowed";
    }
    if (table_bytes > max_table_bytes) {
        return "its filters would need " + Mebibytes(table_bytes) + ", more than the " +
               Mebibytes(max_table_bytes) + " allowed";
    }
    for (const Stage& stage : stages) {
        if (stage.length > std::numeric_limits<int>::max()) {
            return "a filter of " + std::to_string(stage.length) + " taps cannot be built";
        }
    }
    return {};
}

std::uint64_t ResamplePlan::OutputLength(std::uint64_t input) const {
    // ceil(input * L / M) without forming input * L.
    const std::uint64_t l = static_cast<std::uint64_t>(up_factor);
    const std::uint64_t m = static_cast<std::uint64_t>(down_factor);
    return input / m * l + ((input % m) * l + m - 1) / m;
}

std::shared_ptr<const ResamplePlan> ResamplePlan::Find(int input_rate, int output_rate,
                                                       std::string& reason, FilterSetting setting) {
    if (input_rate <= 0 || output_rate <= 0) {
        reason = Rates(input_rate, output_rate) + "sampling rates must be positive";
        return nullptr;
    }
    // L and M straight from the gcd: the common rate itself can exceed int.
    const std::int64_t g = std::gcd(input_rate, output_rate);
    const std::int64_t up = output_rate / g;
    const std::int64_t down = input_rate / g;
    if (up == down) {
        static const auto copy =
            std::make_shared<const ResamplePlan>(1, 1, std::vector<int>{}, std::vector<int>{});
        return copy;
    }

    static std::mutex mutex;
    static std::map<std::tuple<std::int64_t, std::int64_t, FilterSetting>, Cached> cache;
    // One search per ratio: files converted at once that ask for the same
    // ratio wait for the first one's plan instead of searching again.
    const std::lock_guard<std::mutex> lock(mutex);
    const auto key = std::make_tuple(up, down, setting);
    auto found = cache.find(key);
    if (found == cache.end()) {
        if (cache.size() >= max_cached_plans) {
            cache.clear();
        }
        found = cache.emplace(key, Make(up, down, setting)).first;
    }
    if (!found->second.plan) {
        reason = Rates(input_rate, output_rate) + found->second.refusal;
    }
    return found->second.plan;
}

std::shared_ptr<const ResamplePlan> ResamplePlan::For(int input_rate, int output_rate,
                                                      FilterSetting setting) {
    std::string reason;
    auto plan = Find(input_rate, output_rate, reason, setting);
    if (!plan) {
        if (input_rate <= 0 || output_rate <= 0) {
            throw std::invalid_argument(reason);
        }
        throw std::length_error(reason);
    }
    return plan;
}
