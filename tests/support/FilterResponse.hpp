#pragma once

// Filter responses and signal levels for the filter tests, computed here
// from first principles rather than with the product's own code: a radix-2
// FFT, the Kaiser window from the power series of I0, the response of a
// filter's stored coefficients on a dense grid, and the levels in a windowed
// spectrum of a converted signal.

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstddef>
#include <vector>

namespace filter_response {

constexpr double pi = 3.14159265358979323846;

// In-place FFT; the size is a power of two.
inline void Fft(std::vector<std::complex<double>>& a) {
    const std::size_t n = a.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; (j & bit) != 0; bit >>= 1) {
            j ^= bit;
        }
        j |= bit;
        if (i < j) {
            std::swap(a[i], a[j]);
        }
    }
    // Twiddles from their angles, not by a running product, which would
    // drift by more than the -150 dB the tests look for.
    std::vector<std::complex<double>> twiddle(n / 2);
    for (std::size_t k = 0; k < n / 2; ++k) {
        const double angle = -2.0 * pi * static_cast<double>(k) / static_cast<double>(n);
        twiddle[k] = std::complex<double>(std::cos(angle), std::sin(angle));
    }
    for (std::size_t len = 2; len <= n; len <<= 1) {
        const std::size_t stride = n / len;
        for (std::size_t i = 0; i < n; i += len) {
            for (std::size_t k = 0; k < len / 2; ++k) {
                const std::complex<double> u = a[i + k];
                const std::complex<double> v = a[i + k + len / 2] * twiddle[k * stride];
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
            }
        }
    }
}

inline std::size_t PowerOfTwoAtLeast(std::size_t n) {
    std::size_t size = 1;
    while (size < n) {
        size <<= 1;
    }
    return size;
}

// I0 by its power series, sum of ((x/2)^k / k!)^2, to double precision.
inline double BesselI0(double x) {
    double term = 1.0;
    double sum = 1.0;
    for (int k = 1; k < 500 && term > sum * 1e-18; ++k) {
        const double f = x / (2.0 * k);
        term *= f * f;
        sum += term;
    }
    return sum;
}

// |H(f)| in dB relative to |H(0)| of coefficients h, on the grid f = k / size
// of the sampling rate (k = 0 .. size/2), size at least `density` times the
// length.
struct Response {
    std::size_t size = 0;
    std::vector<double> db;
    double Frequency(std::size_t k) const {
        return static_cast<double>(k) / static_cast<double>(size);
    }
};

template <class Tap>
Response ResponseOf(const std::vector<Tap>& h, std::size_t density = 16) {
    Response r;
    r.size = PowerOfTwoAtLeast(std::max<std::size_t>(h.size() * density, 1024));
    std::vector<std::complex<double>> a(r.size);
    for (std::size_t i = 0; i < h.size(); ++i) {
        a[i] = static_cast<double>(h[i]);
    }
    Fft(a);
    const double dc = std::abs(a[0]);
    r.db.resize(r.size / 2 + 1);
    for (std::size_t k = 0; k <= r.size / 2; ++k) {
        r.db[k] = 20.0 * std::log10(std::max(std::abs(a[k]) / dc, 1e-30));
    }
    return r;
}

// Levels in dB relative to a sine of amplitude `reference`, of x[first ..
// first + size - 1] under a Kaiser window of beta 24 (sidelobes near -188
// dB): bin k lies at k / size of the sampling rate, k = 0 .. size/2.
inline std::vector<double> LevelsDb(const std::vector<int>& x, std::size_t first, std::size_t size,
                                    double reference) {
    const double beta = 24.0;
    const double scale = 1.0 / BesselI0(beta);
    std::vector<std::complex<double>> a(size);
    double window_sum = 0.0;
    for (std::size_t i = 0; i < size; ++i) {
        const double t = (2.0 * static_cast<double>(i) - static_cast<double>(size - 1)) /
                         static_cast<double>(size - 1);
        const double w = BesselI0(beta * std::sqrt(std::max(0.0, 1.0 - t * t))) * scale;
        window_sum += w;
        a[i] = w * static_cast<double>(x[first + i]);
    }
    Fft(a);
    std::vector<double> db(size / 2 + 1);
    for (std::size_t k = 0; k <= size / 2; ++k) {
        const double amplitude = 2.0 * std::abs(a[k]) / window_sum;
        db[k] = 20.0 * std::log10(std::max(amplitude / reference, 1e-30));
    }
    return db;
}

} // namespace filter_response
