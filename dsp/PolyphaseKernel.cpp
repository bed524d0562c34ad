#include "dsp/PolyphaseKernel.hpp"

#include <cstdlib>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define MARROWVALE_KERNEL_X86 1
#include <immintrin.h>
#endif

namespace {

// Four partial sums, lane l over taps t = l, l+4, l+8 ..; see the header.
inline double Dot(const double* h, const double* x, std::size_t padded_taps) {
    double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
    for (std::size_t t = 0; t < padded_taps; t += 4) {
        s0 += h[t] * x[t];
        s1 += h[t + 1] * x[t + 1];
        s2 += h[t + 2] * x[t + 2];
        s3 += h[t + 3] * x[t + 3];
    }
    return (s0 + s1) + (s2 + s3);
}

// The stage's gain, then the rounding to float every stage output gets.
inline double Finish(double gain, double sum) {
    return static_cast<double>(static_cast<float>(gain * sum));
}

bool GenericForcedByEnvironment() {
    const char* value = std::getenv("MARROWVALE_GENERIC_KERNEL");
    return value != nullptr && value[0] != '\0' && std::strcmp(value, "0") != 0;
}

} // namespace

void PolyphaseKernel::Generic(const Job& job) {
    const std::size_t up = static_cast<std::size_t>(job.up);
    const std::size_t down = static_cast<std::size_t>(job.down);
    const double gain = job.up;
    for (std::size_t k = 0; k < job.outputs; ++k) {
        const std::size_t a = k * down;
        const double* h = job.branches + (a % up) * job.padded_taps;
        job.out[k] = Finish(gain, Dot(h, job.samples + a / up, job.padded_taps));
    }
}

#ifdef MARROWVALE_KERNEL_X86

namespace {

// Sums of four accumulators, one output each, as (l0 + l1) + (l2 + l3).
__attribute__((target("avx2,fma"))) inline __m256d Reduce(__m256d a, __m256d b, __m256d c,
                                                          __m256d d) {
    const __m256d ab = _mm256_hadd_pd(a, b); // a0+a1, b0+b1, a2+a3, b2+b3
    const __m256d cd = _mm256_hadd_pd(c, d);
    return _mm256_add_pd(_mm256_permute2f128_pd(ab, cd, 0x20),
                         _mm256_permute2f128_pd(ab, cd, 0x31));
}

__attribute__((target("avx2,fma"))) inline double Reduce(__m256d a) {
    const __m128d pairs = _mm_hadd_pd(_mm256_castpd256_pd128(a), _mm256_extractf128_pd(a, 1));
    return _mm_cvtsd_f64(_mm_add_sd(pairs, _mm_unpackhi_pd(pairs, pairs)));
}

// Four outputs of one branch, `stride` apart in the output.
__attribute__((target("avx2,fma"))) inline void Store(double* out, std::size_t stride, __m256d sums,
                                                      __m256d gain) {
    const __m256d rounded = _mm256_cvtps_pd(_mm256_cvtpd_ps(_mm256_mul_pd(gain, sums)));
    if (stride == 1) {
        _mm256_storeu_pd(out, rounded);
        return;
    }
    alignas(32) double lanes[4];
    _mm256_store_pd(lanes, rounded);
    out[0] = lanes[0];
    out[stride] = lanes[1];
    out[2 * stride] = lanes[2];
    out[3 * stride] = lanes[3];
}

} // namespace

// Outputs k, k + up, k + 2 up .. share a branch and read samples `down`
// apart. Eight of them are computed together: each tap vector is loaded
// once for all eight, and eight independent accumulators keep both FMA
// units busy.
__attribute__((target("avx2,fma"))) void PolyphaseKernel::Avx2Fma(const Job& job) {
    const std::size_t up = static_cast<std::size_t>(job.up);
    const std::size_t down = static_cast<std::size_t>(job.down);
    const std::size_t taps = job.padded_taps;
    const std::size_t per_branch = job.outputs / up;
    const __m256d gain = _mm256_set1_pd(job.up);

    for (std::size_t k0 = 0; k0 < up; ++k0) {
        const std::size_t a0 = k0 * down;
        const double* h = job.branches + (a0 % up) * taps;
        const double* first = job.samples + a0 / up;
        double* out = job.out + k0;
        std::size_t q = 0;
        for (; q + 8 <= per_branch; q += 8) {
            const double* x = first + q * down;
            __m256d s0 = _mm256_setzero_pd(), s1 = s0, s2 = s0, s3 = s0, s4 = s0, s5 = s0, s6 = s0,
                    s7 = s0;
            for (std::size_t t = 0; t < taps; t += 4) {
                const __m256d c = _mm256_loadu_pd(h + t);
                const double* xt = x + t;
                s0 = _mm256_fmadd_pd(c, _mm256_loadu_pd(xt), s0);
                s1 = _mm256_fmadd_pd(c, _mm256_loadu_pd(xt + down), s1);
                s2 = _mm256_fmadd_pd(c, _mm256_loadu_pd(xt + 2 * down), s2);
                s3 = _mm256_fmadd_pd(c, _mm256_loadu_pd(xt + 3 * down), s3);
                s4 = _mm256_fmadd_pd(c, _mm256_loadu_pd(xt + 4 * down), s4);
                s5 = _mm256_fmadd_pd(c, _mm256_loadu_pd(xt + 5 * down), s5);
                s6 = _mm256_fmadd_pd(c, _mm256_loadu_pd(xt + 6 * down), s6);
                s7 = _mm256_fmadd_pd(c, _mm256_loadu_pd(xt + 7 * down), s7);
            }
            Store(out + q * up, up, Reduce(s0, s1, s2, s3), gain);
            Store(out + (q + 4) * up, up, Reduce(s4, s5, s6, s7), gain);
        }
        for (; q + 4 <= per_branch; q += 4) {
            const double* x = first + q * down;
            __m256d s0 = _mm256_setzero_pd(), s1 = s0, s2 = s0, s3 = s0;
            for (std::size_t t = 0; t < taps; t += 4) {
                const __m256d c = _mm256_loadu_pd(h + t);
                const double* xt = x + t;
                s0 = _mm256_fmadd_pd(c, _mm256_loadu_pd(xt), s0);
                s1 = _mm256_fmadd_pd(c, _mm256_loadu_pd(xt + down), s1);
                s2 = _mm256_fmadd_pd(c, _mm256_loadu_pd(xt + 2 * down), s2);
                s3 = _mm256_fmadd_pd(c, _mm256_loadu_pd(xt + 3 * down), s3);
            }
            Store(out + q * up, up, Reduce(s0, s1, s2, s3), gain);
        }
        for (; q < per_branch; ++q) {
            const double* x = first + q * down;
            __m256d s = _mm256_setzero_pd();
            for (std::size_t t = 0; t < taps; t += 4) {
                s = _mm256_fmadd_pd(_mm256_loadu_pd(h + t), _mm256_loadu_pd(x + t), s);
            }
            out[q * up] = Finish(job.up, Reduce(s));
        }
    }
}

bool PolyphaseKernel::FastPathCompiled() {
    return true;
}

bool PolyphaseKernel::FastPathAvailable() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
}

#else

void PolyphaseKernel::Avx2Fma(const Job& job) {
    Generic(job);
}

bool PolyphaseKernel::FastPathCompiled() {
    return false;
}

bool PolyphaseKernel::FastPathAvailable() {
    return false;
}

#endif

PolyphaseKernel::Function PolyphaseKernel::Select(Path path) {
    // The processor check runs once; the environment is read at every
    // selection (once per stage built), so a test can switch it.
    static const bool fast = FastPathAvailable();
    if (path == Path::Generic || !fast || GenericForcedByEnvironment()) {
        return &Generic;
    }
    return &Avx2Fma;
}
