#include "support/ResamplerDrive.hpp"

#include "support/Signals.hpp"

#include <algorithm>
#include <cstdint>

namespace testsupport {

Samples Resample(int input_rate, int output_rate, const Samples& input, unsigned in_block,
                 unsigned out_room) {
    PolyphaseResample resampler(input_rate, output_rate);
    return Resample(resampler, input, in_block, out_room);
}

Samples ReferenceResample(const PolyphaseResample& shape, const Samples& input) {
    // The zeros after the signal cover the latency of every cascade tested.
    std::vector<float> x(input.size() + 4096, 0.0f);
    for (std::size_t i = 0; i < input.size(); ++i) {
        x[i] = static_cast<float>(input[i] / 65536.0);
    }
    double delay = 0.0;
    for (std::size_t s = 0; s < shape.Plan().Stages().size(); ++s) {
        const PolyphaseStage& stage = shape.Stage(s);
        const std::vector<float>& h = stage.Coefficients();
        const std::int64_t up = stage.Up();
        const std::int64_t down = stage.Down();
        const std::int64_t n = static_cast<std::int64_t>(h.size());
        const std::int64_t taps = n / up;
        std::vector<float> y(
            static_cast<std::size_t>(static_cast<std::int64_t>(x.size()) * up / down));
        for (std::size_t k = 0; k < y.size(); ++k) {
            const std::int64_t a = static_cast<std::int64_t>(k) * down;
            double sum = 0.0;
            for (std::int64_t j = 0; j < taps; ++j) {
                const std::int64_t m = a / up - j;
                const double sample = m >= 0 ? x[static_cast<std::size_t>(m)] : 0.0;
                sum += static_cast<double>(h[static_cast<std::size_t>(a % up + j * up)]) * sample;
            }
            y[k] = static_cast<float>(static_cast<double>(up) * sum);
        }
        x.swap(y);
        delay =
            (delay * static_cast<double>(up) + static_cast<double>(n)) / static_cast<double>(down);
    }
    const std::size_t skip = static_cast<std::size_t>(delay * 0.5);
    const std::size_t length = static_cast<std::size_t>(
        ExactLength(input.size(), static_cast<std::uint64_t>(shape.Plan().DownFactor()),
                    static_cast<std::uint64_t>(shape.Plan().UpFactor())));
    Samples out(length);
    for (std::size_t i = 0; i < length; ++i) {
        const float p = x[skip + i] * 65536.0f;
        if (p >= 2147483648.0f) {
            out[i] = 2147483647;
        } else if (p < -2147483648.0f) {
            out[i] = -2147483647;
        } else {
            out[i] = static_cast<std::int32_t>(p);
        }
    }
    return out;
}

} // namespace testsupport
