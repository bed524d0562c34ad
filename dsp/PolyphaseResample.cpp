#include "dsp/PolyphaseResample.hpp"

#include "dsp/PolyphaseBranchCache.hpp"
#include "dsp/StagePlanner.hpp"
#include "dsp/WindowFunction_Nuttall.hpp"

#include <algorithm>
#include <boost/math/special_functions/sinc.hpp>
#include <climits>
#include <cmath>
#include <numeric>
#include <stdexcept>
#include <string>

namespace {

constexpr double input_scale = 1.0 / 65536.0;
constexpr float output_scale = 65536.0f;
// Blocks hold about this many samples at the larger end of the ratio.
constexpr std::int64_t nominal_block = 2048;

struct Factors {
    std::int64_t up;
    std::int64_t down;
};

// L and M straight from the gcd: the common rate itself can exceed int.
Factors Reduce(int input_rate, int output_rate) {
    const std::int64_t g = std::gcd(input_rate, output_rate);
    return Factors{output_rate / g, input_rate / g};
}

std::int64_t BlockMultiple(Factors f) {
    return std::max<std::int64_t>(nominal_block / std::max(f.up, f.down), 1);
}

std::string Mebibytes(double bytes) {
    return std::to_string(static_cast<long long>(std::ceil(bytes / 1048576.0))) + " MiB";
}

// Why a plan does not fit the limits, or empty when it does.
std::string Unfit(const PolyphaseResample::Footprint& footprint) {
    if (footprint.state_bytes > PolyphaseResample::max_state_bytes) {
        return "each channel would need " + Mebibytes(footprint.state_bytes) +
               " of buffers, more than the " + Mebibytes(PolyphaseResample::max_state_bytes) +
               " allowed";
    }
    if (footprint.table_bytes > PolyphaseResample::max_table_bytes) {
        return "its filters would need " + Mebibytes(footprint.table_bytes) + ", more than the " +
               Mebibytes(PolyphaseResample::max_table_bytes) + " allowed";
    }
    return std::string();
}

} // namespace

PolyphaseResample::PolyphaseResample(int input_rate, int output_rate, PolyphaseKernel::Path path)
    : input_rate(input_rate), output_rate(output_rate) {
    if (input_rate <= 0 || output_rate <= 0) {
        throw std::invalid_argument("PolyphaseResample: sampling rates must be positive");
    }
    if (input_rate == output_rate) {
        return;
    }
    const StagePlanner::Plan plan = PlanStages(input_rate, output_rate);
    active = true;

    const Factors f = Reduce(input_rate, output_rate);
    up_factor = f.up;
    down_factor = f.down;
    ratio = static_cast<double>(up_factor) / static_cast<double>(down_factor);

    std::size_t block = static_cast<std::size_t>(down_factor * BlockMultiple(f));
    const std::size_t count = std::max(plan.up.size(), plan.down.size());
    stages.reserve(count);
    double delay = 0.0;
    for (std::size_t i = 0; i < count; ++i) {
        const int up = i < plan.up.size() ? plan.up[i] : 1;
        const int down = i < plan.down.size() ? plan.down[i] : 1;
        stages.emplace_back(down, block, PolyphaseBranchCache::For(up, down), path);
        // Each filter delays by n/2 samples at its interpolated rate; the
        // sum is kept doubled, in samples at this stage's output rate.
        delay = (delay * up + stages.back().Length()) / down;
        block = block * static_cast<std::size_t>(up) / static_cast<std::size_t>(down);
    }
    skip = static_cast<std::size_t>(delay * 0.5);
    output.assign(block, 0.0);
}

PolyphaseResample::Footprint PolyphaseResample::FootprintOf(const StagePlanner::Plan& plan,
                                                            std::int64_t up_factor,
                                                            std::int64_t down_factor) {
    const Factors f{up_factor, down_factor};
    // Doubles: an absurd plan's sizes must come out absurd, not wrapped.
    double block = static_cast<double>(down_factor * BlockMultiple(f));
    Footprint footprint{0.0, 0.0};
    const std::size_t count = std::max(plan.up.size(), plan.down.size());
    for (std::size_t i = 0; i < count; ++i) {
        const std::int64_t up = i < plan.up.size() ? plan.up[i] : 1;
        const std::int64_t down = i < plan.down.size() ? plan.down[i] : 1;
        // Filters longer than int allows come out far beyond the limits.
        const std::size_t taps = static_cast<std::size_t>(StageFilterLength(up, down) / up);
        footprint.state_bytes += (2.0 * static_cast<double>(taps) + block +
                                  static_cast<double>(PolyphaseKernel::lanes)) *
                                 sizeof(double);
        footprint.table_bytes += PolyphaseBranches::BytesFor(static_cast<std::size_t>(up), taps);
        block = block * static_cast<double>(up) / static_cast<double>(down);
    }
    footprint.state_bytes += block * sizeof(double); // the output block
    return footprint;
}

StagePlanner::Plan PolyphaseResample::PlanStages(int input_rate, int output_rate) {
    const Factors f = Reduce(input_rate, output_rate);
    // Every plan holds an input and an output block: rates that make those
    // alone too large are refused before the search, which is slow on them.
    const double blocks =
        static_cast<double>(f.up + f.down) * static_cast<double>(BlockMultiple(f)) * sizeof(double);
    std::string reason = Unfit(Footprint{blocks, 0.0});
    if (!reason.empty()) {
        throw std::length_error("cannot resample " + std::to_string(input_rate) + " Hz to " +
                                std::to_string(output_rate) + " Hz: " + reason);
    }
    StagePlanner::Plan plan = StagePlanner::PlanFor(f.up, f.down);
    if (Unfit(FootprintOf(plan, f.up, f.down)).empty()) {
        return plan;
    }
    // The plan of last resort, taken when it fits the limits the planned
    // cascade exceeds.
    plan.up.assign(1, static_cast<int>(f.up));
    plan.down.assign(1, static_cast<int>(f.down));
    plan.cost = StagePlanner::Cost(plan.up, plan.down, f.up, f.down);
    reason = Unfit(FootprintOf(plan, f.up, f.down));
    if (!reason.empty()) {
        throw std::length_error("cannot resample " + std::to_string(input_rate) + " Hz to " +
                                std::to_string(output_rate) + " Hz: " + reason);
    }
    return plan;
}

bool PolyphaseResample::Accepts(int input_rate, int output_rate, std::string* reason) {
    if (input_rate <= 0 || output_rate <= 0) {
        if (reason != nullptr) {
            *reason = "sampling rates must be positive";
        }
        return false;
    }
    if (input_rate == output_rate) {
        return true;
    }
    try {
        PlanStages(input_rate, output_rate);
    } catch (const std::length_error& error) {
        if (reason != nullptr) {
            *reason = error.what();
        }
        return false;
    }
    return true;
}

std::size_t PolyphaseResample::StateBytes() const {
    std::size_t bytes = output.size() * sizeof(double);
    for (const PolyphaseStage& stage : stages) {
        bytes += stage.StateBytes();
    }
    return bytes;
}

std::int64_t PolyphaseResample::StageFilterLength(std::int64_t up, std::int64_t down) {
    const std::int64_t f = std::max(up, down);
    const std::int64_t base = std::max<std::int64_t>(20 * f, 1024);
    std::int64_t unit = up * down;
    if (2 * base < unit) {
        unit = up;
    }
    return (base + unit - 1) / unit * unit;
}

PolyphaseResample::FilterShape PolyphaseResample::StageFilterShape(int up, int down) {
    return FilterShape{static_cast<int>(StageFilterLength(up, down)),
                       cutoff_factor / static_cast<float>(std::max(up, down))};
}

void PolyphaseResample::DesignFilter(float* h, int n, float fc) {
    WindowFunction_Nuttall<double, 0> window;
    window.Build(n);
    const int c = n / 2;
    double sum = 0.0;
    for (int i = 0; i < n; ++i) {
        const double x = 3.14159265358979 * fc * (i - c);
        h[i] = static_cast<float>(window.values[static_cast<std::size_t>(i)] *
                                  boost::math::sinc_pi(x));
        sum += h[i];
    }
    const double g = 1.0 / sum;
    for (int i = 0; i < n; ++i) {
        h[i] = static_cast<float>(h[i] * g);
    }
}

int PolyphaseResample::ToInteger(float value) {
    const float p = value * output_scale;
    if (p >= 2147483648.0f) {
        return INT_MAX;
    }
    if (p >= -2147483648.0f) {
        return static_cast<int>(p);
    }
    return -INT_MAX; // also catches NaN
}

std::uint64_t PolyphaseResample::Owed() const {
    if (!active) {
        return 0;
    }
    // ceil(taken * L / M) without forming taken * L.
    const std::uint64_t l = static_cast<std::uint64_t>(up_factor);
    const std::uint64_t m = static_cast<std::uint64_t>(down_factor);
    const std::uint64_t total = taken / m * l + ((taken % m) * l + m - 1) / m;
    return total - delivered;
}

void PolyphaseResample::RunCascade() {
    for (std::size_t i = 0; i < stages.size(); ++i) {
        double* next = i + 1 < stages.size() ? stages[i + 1].Block() : output.data();
        stages[i].Filter(next);
    }
}

bool PolyphaseResample::Process(const int* in, int* out, unsigned& in_count, unsigned& out_count) {
    const bool flushing = in == nullptr;
    if (!active) {
        if (flushing) {
            in_count = 0;
        } else {
            std::copy(in, in + in_count, out);
        }
        out_count = in_count;
        return true;
    }

    PolyphaseStage& first = stages.front();
    const std::size_t room = first.BlockLength() - input_fill;
    std::size_t n = in_count;
    if (n > room || flushing) {
        n = room;
        in_count = static_cast<unsigned>(room);
    }
    if (n > 0) {
        double* block = first.Block() + input_fill;
        if (flushing) {
            std::fill(block, block + n, 0.0);
        } else {
            for (std::size_t i = 0; i < n; ++i) {
                block[i] = static_cast<float>(in[i] * input_scale);
            }
            taken += n;
        }
        input_fill += n;
    }

    // The cascade waits until the previous output block is fully delivered.
    if (input_fill == first.BlockLength() && output_fill == 0) {
        RunCascade();
        input_fill = 0;
        output_fill = output.size();
        output_read = 0;
    }

    // Deliver past the samples still to skip, never more than there is room
    // for and, while flushing, never past what the input calls for.
    std::size_t avail = output_fill;
    if (flushing) {
        const std::uint64_t owed = Owed();
        if (skip + owed < avail) {
            avail = skip + static_cast<std::size_t>(owed);
        }
    }
    if (static_cast<std::size_t>(out_count) + skip < avail) {
        avail = out_count + skip;
    }
    std::size_t written = 0;
    for (std::size_t i = skip; i < avail; ++i) {
        out[written++] = ToInteger(static_cast<float>(output[output_read + i]));
    }
    skip -= avail - written;
    delivered += written;
    output_read += avail;
    output_fill -= avail;
    if (output_fill == 0) {
        output_read = 0;
    }
    out_count = static_cast<unsigned>(written);
    return true;
}

bool PolyphaseResample::Flush(int* out, unsigned& out_count) {
    if (!active || out_count == 0) {
        out_count = 0;
        return true;
    }
    // Zero blocks go on until something is delivered or nothing is owed, so
    // that a pass writing nothing really means the end.
    const unsigned room = out_count;
    for (;;) {
        unsigned in_count = 0;
        out_count = room;
        Process(nullptr, out, in_count, out_count);
        if (out_count > 0 || Owed() == 0) {
            return true;
        }
    }
}
