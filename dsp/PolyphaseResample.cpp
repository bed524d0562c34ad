#include "dsp/PolyphaseResample.hpp"

#include "dsp/PolyphaseBranchCache.hpp"
#include "dsp/StagePlanner.hpp"
#include "dsp/WindowFunction_Nuttall.hpp"

#include <algorithm>
#include <boost/math/special_functions/sinc.hpp>
#include <climits>
#include <numeric>
#include <stdexcept>

namespace {

constexpr double input_scale = 1.0 / 65536.0;
constexpr float output_scale = 65536.0f;
// Blocks hold about this many samples at the larger end of the ratio.
constexpr std::int64_t nominal_block = 2048;

} // namespace

PolyphaseResample::PolyphaseResample(int input_rate, int output_rate, PolyphaseKernel::Path path)
    : input_rate(input_rate), output_rate(output_rate) {
    if (input_rate <= 0 || output_rate <= 0) {
        throw std::invalid_argument("PolyphaseResample: sampling rates must be positive");
    }
    if (input_rate == output_rate) {
        return;
    }
    active = true;

    // L and M straight from the gcd: the common rate itself can exceed int.
    const std::int64_t g = std::gcd(input_rate, output_rate);
    up_factor = output_rate / g;
    down_factor = input_rate / g;
    ratio = static_cast<double>(up_factor) / static_cast<double>(down_factor);

    const std::int64_t r =
        std::max<std::int64_t>(nominal_block / std::max(up_factor, down_factor), 1);
    std::size_t block = static_cast<std::size_t>(down_factor * r);

    const StagePlanner::Plan plan = StagePlanner::PlanFor(up_factor, down_factor);
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

PolyphaseResample::FilterShape PolyphaseResample::StageFilterShape(int up, int down) {
    const std::int64_t f = std::max(up, down);
    const std::int64_t base = std::max<std::int64_t>(20 * f, 1024);
    std::int64_t unit = static_cast<std::int64_t>(up) * down;
    if (2 * base < unit) {
        unit = up;
    }
    const std::int64_t length = (base + unit - 1) / unit * unit;
    return FilterShape{static_cast<int>(length), cutoff_factor / static_cast<float>(f)};
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
