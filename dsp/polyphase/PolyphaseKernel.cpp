#include "dsp/polyphase/PolyphaseKernel.hpp"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <numeric>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define MARROWVALE_KERNEL_X86 1
// GCC 12's AVX-512 intrinsics fill their unused operands with a
// self-initialised value that its own warning then flags.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop
#endif

namespace {

constexpr std::size_t lanes = PolyphaseKernel::lanes;

// The eight partial sums and their fixed pairing; see the header.
inline double Dot(const double* h, const double* x, std::size_t width) {
    double s[lanes] = {};
    for (std::size_t c = 0; c < width; c += lanes) {
        for (std::size_t l = 0; l < lanes; ++l) {
            s[l] += h[c + l] * x[c + l];
        }
    }
    return ((s[0] + s[4]) + (s[2] + s[6])) + ((s[1] + s[5]) + (s[3] + s[7]));
}

// The stage's gain, then the rounding to float, when asked for.
inline double Finish(double gain, double sum, bool rounds) {
    return rounds ? static_cast<double>(static_cast<float>(gain * sum)) : gain * sum;
}

bool GenericForcedByEnvironment() {
    const char* value = std::getenv("MARROWVALE_GENERIC_KERNEL");
    return value != nullptr && value[0] != '\0' && std::strcmp(value, "0") != 0;
}

// MARROWVALE_KERNEL=avx2 keeps a processor with AVX-512 on the AVX2/FMA
// kernel, to measure what machines without AVX-512 get.
bool Avx2AskedByEnvironment() {
    const char* value = std::getenv("MARROWVALE_KERNEL");
    return value != nullptr && std::strcmp(value, "avx2") == 0;
}

} // namespace

void PolyphaseKernel::Generic(const Job& job) {
    const std::size_t up = static_cast<std::size_t>(job.up);
    const std::size_t down = static_cast<std::size_t>(job.down);
    const std::size_t mask = job.phases - 1;
    const double gain = job.up;
    for (std::size_t k = 0; k < job.outputs; ++k) {
        const std::size_t a = k * down;
        const std::size_t b = job.first + a / up;
        const std::size_t f = b & mask;
        const double* h = job.rows + ((a % up) * job.phases + f) * job.row_stride;
        job.out[k] = Finish(gain, Dot(h, job.samples + (b - f), Width(job.taps, f)), job.rounds);
    }
}

#ifdef MARROWVALE_KERNEL_X86

namespace {

// Outputs that share a row: output j reads samples from x + j * x_step on
// and goes to out[j * out_step].
struct Group {
    const double* h;
    std::size_t width;
    const double* x;
    std::size_t x_step;
    double* out;
    std::size_t out_step;
    double gain;
    bool rounds;
};

// Computes the outputs of a group; blocks[n - 1] is the one for n outputs.
using BlockFunction = void (*)(const Group& group);

// Outputs k0, k0 + up, k0 + 2 up .. share a branch and start `down` samples
// apart, so those `period` apart in that sequence also share the phase and
// so the row. They go to the block function in groups of at most
// `block_limit`, so that each tap vector loaded serves the whole group.
template <std::size_t block_limit>
void Drive(const PolyphaseKernel::Job& job, const BlockFunction (&blocks)[block_limit]) {
    const std::size_t up = static_cast<std::size_t>(job.up);
    const std::size_t down = static_cast<std::size_t>(job.down);
    const std::size_t mask = job.phases - 1;
    const std::size_t period = job.phases / std::gcd(down, job.phases);

    for (std::size_t k0 = 0; k0 < std::min(up, job.outputs); ++k0) {
        const std::size_t a0 = k0 * down;
        const std::size_t b0 = job.first + a0 / up;
        const double* branch = job.rows + (a0 % up) * job.phases * job.row_stride;
        const std::size_t count = (job.outputs - k0 - 1) / up + 1;
        for (std::size_t r = 0; r < std::min(period, count); ++r) {
            const std::size_t b = b0 + r * down;
            const std::size_t f = b & mask;
            Group group{branch + f * job.row_stride, PolyphaseKernel::Width(job.taps, f),
                        job.samples + (b - f),       period * down,
                        job.out + k0 + r * up,       period * up,
                        static_cast<double>(job.up), job.rounds};
            const std::size_t n = (count - r - 1) / period + 1;
            // Groups as even as possible: 31 outputs, at most 8 a group, go 8, 8, 8, 7.
            const std::size_t groups = (n + block_limit - 1) / block_limit;
            for (std::size_t g = 0; g < groups; ++g) {
                const std::size_t size = n / groups + (g < n % groups ? 1 : 0);
                blocks[size - 1](group);
                group.x += size * group.x_step;
                group.out += size * group.out_step;
            }
        }
    }
}

// AVX-512: one vector of eight columns per output and step.
//
// The sums of eight accumulators a[0..7], in the lane order
// w0, w4, w1, w5, w2, w6, w3, w7, each formed as the header says.
__attribute__((target("avx512f"))) inline __m512d Reduce8(const __m512d* a) {
    // Per output u_l = s_l + s_{l+4}: two outputs per vector.
    __m512d u[4];
    for (int i = 0; i < 4; ++i) {
        u[i] = _mm512_add_pd(_mm512_shuffle_f64x2(a[2 * i], a[2 * i + 1], 0x44),
                             _mm512_shuffle_f64x2(a[2 * i], a[2 * i + 1], 0xEE));
    }
    // v0 = u0 + u2, v1 = u1 + u3: four outputs per vector.
    const __m512d v0123 = _mm512_add_pd(_mm512_shuffle_f64x2(u[0], u[1], 0x88),
                                        _mm512_shuffle_f64x2(u[0], u[1], 0xDD));
    const __m512d v4567 = _mm512_add_pd(_mm512_shuffle_f64x2(u[2], u[3], 0x88),
                                        _mm512_shuffle_f64x2(u[2], u[3], 0xDD));
    // w = v0 + v1.
    return _mm512_add_pd(_mm512_unpacklo_pd(v0123, v4567), _mm512_unpackhi_pd(v0123, v4567));
}

template <std::size_t N>
__attribute__((target("avx512f"))) void Block512(const Group& g) {
    static_assert(N >= 1 && N <= 8, "one reduction of eight sums");
    __m512d s[N];
#pragma GCC unroll 16
    for (std::size_t j = 0; j < N; ++j) {
        s[j] = _mm512_setzero_pd();
    }
    for (std::size_t c = 0; c < g.width; c += lanes) {
        const __m512d taps = _mm512_load_pd(g.h + c);
        const double* xc = g.x + c;
#pragma GCC unroll 16
        for (std::size_t j = 0; j < N; ++j) {
            s[j] = _mm512_fmadd_pd(taps, _mm512_loadu_pd(xc + j * g.x_step), s[j]);
        }
    }
    __m512d a[8];
#pragma GCC unroll 8
    for (std::size_t j = 0; j < 8; ++j) {
        a[j] = j < N ? s[j] : _mm512_setzero_pd();
    }
    const __m512d w = _mm512_mul_pd(Reduce8(a), _mm512_set1_pd(g.gain));
    alignas(64) double t[8];
    _mm512_store_pd(t, g.rounds ? _mm512_cvtps_pd(_mm512_cvtpd_ps(w)) : w);
    static constexpr std::size_t lane[8] = {0, 2, 4, 6, 1, 3, 5, 7};
#pragma GCC unroll 8
    for (std::size_t j = 0; j < N; ++j) {
        g.out[j * g.out_step] = t[lane[j]];
    }
}

// AVX2: two vectors per output and step, columns 0-3 and 4-7 of each eight.
//
// The sums of four outputs from their u = lo + hi, in order.
__attribute__((target("avx2,fma"))) inline __m256d Reduce4(__m256d a, __m256d b, __m256d c,
                                                           __m256d d) {
    // (v0, v1) of a and c, then of b and d.
    const __m256d ac =
        _mm256_add_pd(_mm256_permute2f128_pd(a, c, 0x20), _mm256_permute2f128_pd(a, c, 0x31));
    const __m256d bd =
        _mm256_add_pd(_mm256_permute2f128_pd(b, d, 0x20), _mm256_permute2f128_pd(b, d, 0x31));
    return _mm256_hadd_pd(ac, bd);
}

template <std::size_t N>
__attribute__((target("avx2,fma"))) void Block256(const Group& g) {
    __m256d lo[N], hi[N];
#pragma GCC unroll 16
    for (std::size_t j = 0; j < N; ++j) {
        lo[j] = _mm256_setzero_pd();
        hi[j] = _mm256_setzero_pd();
    }
    for (std::size_t c = 0; c < g.width; c += lanes) {
        const __m256d taps_lo = _mm256_load_pd(g.h + c);
        const __m256d taps_hi = _mm256_load_pd(g.h + c + 4);
        const double* xc = g.x + c;
#pragma GCC unroll 16
        for (std::size_t j = 0; j < N; ++j) {
            lo[j] = _mm256_fmadd_pd(taps_lo, _mm256_loadu_pd(xc + j * g.x_step), lo[j]);
            hi[j] = _mm256_fmadd_pd(taps_hi, _mm256_loadu_pd(xc + j * g.x_step + 4), hi[j]);
        }
    }
    constexpr std::size_t padded = (N + 3) / 4 * 4;
    __m256d u[padded];
#pragma GCC unroll 16
    for (std::size_t j = 0; j < padded; ++j) {
        u[j] = j < N ? _mm256_add_pd(lo[j], hi[j]) : _mm256_setzero_pd();
    }
    const __m256d gain = _mm256_set1_pd(g.gain);
#pragma GCC unroll 4
    for (std::size_t j0 = 0; j0 < padded; j0 += 4) {
        const __m256d w = _mm256_mul_pd(Reduce4(u[j0], u[j0 + 1], u[j0 + 2], u[j0 + 3]), gain);
        alignas(32) double t[4];
        _mm256_store_pd(t, g.rounds ? _mm256_cvtps_pd(_mm256_cvtpd_ps(w)) : w);
#pragma GCC unroll 4
        for (std::size_t j = 0; j < 4; ++j) {
            if (j0 + j < N) {
                g.out[(j0 + j) * g.out_step] = t[j];
            }
        }
    }
}

// Up to eight outputs: one reduction; 12 or 16 did not measure faster.
constexpr BlockFunction avx512_blocks[] = {&Block512<1>, &Block512<2>, &Block512<3>, &Block512<4>,
                                           &Block512<5>, &Block512<6>, &Block512<7>, &Block512<8>};
// Two accumulators per output: six outputs fill 12 of the 16 registers.
constexpr BlockFunction avx2_blocks[] = {&Block256<1>, &Block256<2>, &Block256<3>,
                                         &Block256<4>, &Block256<5>, &Block256<6>};

} // namespace

void PolyphaseKernel::Avx2Fma(const Job& job) {
    Drive(job, avx2_blocks);
}

void PolyphaseKernel::Avx512(const Job& job) {
    Drive(job, avx512_blocks);
}

bool PolyphaseKernel::Avx2FmaAvailable() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}

bool PolyphaseKernel::Avx512Available() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f");
}

#else

void PolyphaseKernel::Avx2Fma(const Job& job) {
    Generic(job);
}

void PolyphaseKernel::Avx512(const Job& job) {
    Generic(job);
}

bool PolyphaseKernel::Avx2FmaAvailable() {
    return false;
}

bool PolyphaseKernel::Avx512Available() {
    return false;
}

#endif

PolyphaseKernel::Function PolyphaseKernel::Select(Path path) {
    // The processor checks run once; the environment is read at every
    // selection (once per stage built), so a test can switch it.
    static const bool avx2 = Avx2FmaAvailable();
    static const bool avx512 = Avx512Available();
    if (path == Path::Generic || GenericForcedByEnvironment()) {
        return &Generic;
    }
    if (avx512 && path == Path::Automatic && !Avx2AskedByEnvironment()) {
        return &Avx512;
    }
    return avx2 ? &Avx2Fma : &Generic;
}
