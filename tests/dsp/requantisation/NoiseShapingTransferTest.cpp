#include "dsp/requantisation/IntegerRequantiser.hpp"
#include "support/Signals.hpp"

#include <cmath>
#include <complex>
#include <gtest/gtest.h>
#include <vector>

// The requantisation error of a dithered low-level sine, measured by an
// averaged periodogram, must have the shape of the chosen noise transfer.
namespace {

using Requantiser = dsp::requantisation::IntegerRequantiser<int>;
using Complex = std::complex<double>;

const double pi = std::acos(-1.0);
constexpr std::size_t segment = 2048;
constexpr std::size_t segments = 16;
constexpr double rate = 44100.0;

// In-place iterative radix-2 transform.
void Transform(std::vector<Complex>& x) {
    const std::size_t n = x.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) {
            j ^= bit;
        }
        j ^= bit;
        if (i < j) {
            std::swap(x[i], x[j]);
        }
    }
    for (std::size_t len = 2; len <= n; len <<= 1) {
        const Complex step = std::polar(1.0, -2.0 * pi / static_cast<double>(len));
        for (std::size_t i = 0; i < n; i += len) {
            Complex w = 1.0;
            for (std::size_t k = 0; k < len / 2; ++k) {
                const Complex a = x[i + k];
                const Complex b = x[i + k + len / 2] * w;
                x[i + k] = a + b;
                x[i + k + len / 2] = a - b;
                w *= step;
            }
        }
    }
}

// Power in bins 0 .. segment/2 of the error (output in input units minus
// input), Hann-windowed and averaged over the segments.
std::vector<double> ErrorSpectrum(int noise_shaping) {
    const std::size_t n = segment * segments;
    // 30 output steps of 256 at 1 kHz.
    const std::vector<int> input = testsupport::Sine(n, 1000.0, rate, 7680.0);
    Requantiser r;
    r.bits_removed = 8;
    r.output_bits = 16;
    r.dither_bits = 1;
    r.dither_type = 1;
    r.noise_shaping = noise_shaping;
    r.UseFixedSeed(1234);
    r.Prepare();
    std::vector<int> output = input;
    r.Process(output.data(), static_cast<unsigned>(n));
    EXPECT_EQ(0u, r.ClippedCount());

    std::vector<double> power(segment / 2 + 1, 0.0);
    std::vector<Complex> buffer(segment);
    for (std::size_t s = 0; s < segments; ++s) {
        for (std::size_t i = 0; i < segment; ++i) {
            const std::size_t at = s * segment + i;
            const double window = 0.5 - 0.5 * std::cos(2.0 * pi * static_cast<double>(i) /
                                                       static_cast<double>(segment));
            buffer[i] = window * (output[at] * 256.0 - input[at]);
        }
        Transform(buffer);
        for (std::size_t k = 0; k <= segment / 2; ++k) {
            power[k] += std::norm(buffer[k]);
        }
    }
    return power;
}

double Sum(const std::vector<double>& power, std::size_t first, std::size_t last) {
    double sum = 0.0;
    for (std::size_t k = first; k <= last; ++k) {
        sum += power[k];
    }
    return sum;
}

// |1 - sum c[k] z^-(k+1)|^2 on bin k of the segment.
double TransferPower(const std::vector<double>& c, std::size_t bin) {
    const double w = 2.0 * pi * static_cast<double>(bin) / static_cast<double>(segment);
    Complex n = 1.0;
    for (std::size_t k = 0; k < c.size(); ++k) {
        n -= c[k] * std::polar(1.0, -w * static_cast<double>(k + 1));
    }
    return std::norm(n);
}

// Compares the measured share of power in eight equal bands with the share the
// transfer predicts.
void ExpectShape(const std::vector<double>& power, const std::vector<double>& c) {
    constexpr std::size_t bands = 8;
    constexpr std::size_t width = segment / 2 / bands;
    std::vector<double> measured(bands);
    std::vector<double> predicted(bands);
    double measured_total = 0.0;
    double predicted_total = 0.0;
    for (std::size_t b = 0; b < bands; ++b) {
        measured[b] = Sum(power, b * width + 1, (b + 1) * width);
        for (std::size_t k = b * width + 1; k <= (b + 1) * width; ++k) {
            predicted[b] += TransferPower(c, k);
        }
        measured_total += measured[b];
        predicted_total += predicted[b];
    }
    for (std::size_t b = 0; b < bands; ++b) {
        EXPECT_NEAR(predicted[b] / predicted_total, measured[b] / measured_total,
                    0.1 * predicted[b] / predicted_total)
            << "band " << b;
    }
}

const auto low_band_last = static_cast<std::size_t>(4000.0 / rate * static_cast<double>(segment));

TEST(NoiseShapingSpectrum, UnshapedErrorIsWhite) {
    ExpectShape(ErrorSpectrum(0), {0.0});
}

TEST(NoiseShapingSpectrum, TwoTapsFollowTheirTransfer) {
    ExpectShape(ErrorSpectrum(1), {-2.0, 1.0});
}

TEST(NoiseShapingSpectrum, NineTapsMoveNoiseOutOfTheLowBand) {
    const std::vector<double> flat = ErrorSpectrum(0);
    const std::vector<double> shaped = ErrorSpectrum(3);
    // The transfer averages about 0.025 below 4 kHz and 69 over the band.
    EXPECT_LT(Sum(shaped, 0, low_band_last), 0.1 * Sum(flat, 0, low_band_last));
    EXPECT_GT(Sum(shaped, 0, segment / 2), 10.0 * Sum(flat, 0, segment / 2));
}

TEST(NoiseShapingSpectrum, ThreeTapsMoveNoiseOutOfTheLowBand) {
    const std::vector<double> flat = ErrorSpectrum(0);
    const std::vector<double> shaped = ErrorSpectrum(2);
    EXPECT_LT(Sum(shaped, 0, low_band_last), 0.1 * Sum(flat, 0, low_band_last));
    EXPECT_GT(Sum(shaped, 0, segment / 2), Sum(flat, 0, segment / 2));
}

} // namespace
