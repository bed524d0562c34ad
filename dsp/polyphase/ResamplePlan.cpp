#include "dsp/polyphase/ResamplePlan.hpp"

#include "dsp/polyphase/DesignedSearch.hpp"
#include "dsp/polyphase/FftConvolver.hpp"
#include "dsp/polyphase/PolyphaseBranches.hpp"
#include "dsp/polyphase/PolyphaseStage.hpp"
#include "dsp/polyphase/SteepSearch.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

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

// The bytes of a stage's buffer for blocks of `block` input samples.
std::uint64_t BufferBytes(std::size_t taps, std::uint64_t block) {
    const std::uint64_t buffer =
        block == saturated ? saturated : PolyphaseStage::BufferLength(taps, block);
    return Multiply(buffer, sizeof(double));
}

std::string StateReason(std::uint64_t bytes) {
    return "each channel would need " + Mebibytes(bytes) + " of buffers, more than the " +
           Mebibytes(ResamplePlan::max_state_bytes) + " allowed";
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
                       SteepSearch::Cost(ups, downs, up_factor, down_factor, steep_stage)))
                 : DesignedSearch::Cost(ups, downs, up_factor, down_factor);
    const double lower_nyquist = 0.5 * static_cast<double>(std::min(up_factor, down_factor));
    std::int64_t stage_rate = down_factor; // a stage's input rate, in units of input rate / M
    const std::int64_t scale = SteepSearch::BlockScale(up_factor, down_factor, steep);
    std::uint64_t block =
        Multiply(static_cast<std::uint64_t>(down_factor), static_cast<std::uint64_t>(scale));
    double delay = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        Stage stage{};
        stage.up = i < ups.size() ? ups[i] : 1;
        stage.down = i < downs.size() ? downs[i] : 1;
        if (steep) {
            const steep_filter::Stage filter =
                steep_filter::StageFilter(stage_rate, stage.up, stage.down, lower_nyquist,
                                          steep_filter::RoleOf(i, steep_stage));
            stage.length = filter.length;
            stage.cutoff = filter.cutoff;
            stage.window = FilterWindow::Kaiser;
            stage.pass = filter.pass;
            stage.stop = filter.stop;
            stage.fft_length =
                SteepSearch::StageForm(stage_rate, stage.up, stage.down, filter, scale).fft_length;
        } else {
            stage.length = StageFilterLength(stage.up, stage.down);
            stage.cutoff = StageFilterCutoff(stage.up, stage.down);
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

        state_bytes = Add(state_bytes, BufferBytes(stage.taps, stage.block_length));
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

std::string ResamplePlan::UnfitReason() const {
    if (state_bytes > max_state_bytes) {
        return StateReason(state_bytes);
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

std::string ResamplePlan::BlocksReason(std::int64_t up_factor, std::int64_t down_factor,
                                       FilterSetting setting) {
    const std::uint64_t blocks =
        Multiply(Multiply(static_cast<std::uint64_t>(up_factor + down_factor),
                          static_cast<std::uint64_t>(SteepSearch::BlockScale(
                              up_factor, down_factor, setting == FilterSetting::Steep))),
                 sizeof(double));
    return blocks > max_state_bytes ? StateReason(blocks) : std::string();
}

bool ResamplePlan::StageFits(std::int64_t length, int up, std::int64_t rate, std::int64_t up_factor,
                             std::int64_t down_factor) {
    if (length > std::numeric_limits<int>::max()) {
        return false;
    }
    const std::size_t taps = static_cast<std::size_t>(length / up);
    const std::uint64_t block =
        Multiply(static_cast<std::uint64_t>(SteepSearch::BlockScale(up_factor, down_factor, true)),
                 static_cast<std::uint64_t>(rate));
    return BufferBytes(taps, block) <= max_state_bytes &&
           PolyphaseBranches::BytesFor(static_cast<std::size_t>(up), taps) <=
               static_cast<double>(max_table_bytes);
}
