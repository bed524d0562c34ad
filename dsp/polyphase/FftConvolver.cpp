#include "dsp/polyphase/FftConvolver.hpp"

#include <algorithm>
#if defined(__x86_64__)
#include <immintrin.h>
#endif
#include <utility>

namespace {

// GCC builds this loop a second time for AVX and picks one at run time; both
// do the same multiplications and additions in the same order (no fused
// multiply-add), so they give the same bits.
// Not under ThreadSanitizer, whose runtime is not yet up when the loader
// calls the clones' resolver.
#if defined(__GNUC__) && !defined(__clang__) && defined(__x86_64__) && !defined(__SANITIZE_THREAD__)
#define MARROWVALE_VECTOR_CLONES __attribute__((target_clones("avx", "default")))
#else
#define MARROWVALE_VECTOR_CLONES
#endif

// y = x * h for `values` complex values stored as (re, im) pairs.
void MultiplyPlain(const double* x, const double* h, double* y, std::size_t values) {
    for (std::size_t b = 0; b < 2 * values; b += 2) {
        const double xr = x[b];
        const double xi = x[b + 1];
        y[b] = xr * h[b] - xi * h[b + 1];
        y[b + 1] = xr * h[b + 1] + xi * h[b];
    }
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
// Two values a vector, with the same products and sums as the plain loop
// (no fused multiply-add; the sum of the imaginary part merely commuted), so
// the same bits. The compiler's own vectorisation of that loop shuffled
// more.
__attribute__((target("avx"))) void MultiplyAvx(const double* x, const double* h, double* y,
                                                std::size_t values) {
    std::size_t b = 0;
    for (; b + 4 <= 2 * values; b += 4) {
        const __m256d xv = _mm256_loadu_pd(x + b);
        const __m256d hv = _mm256_loadu_pd(h + b);
        const __m256d re = _mm256_mul_pd(xv, _mm256_movedup_pd(hv));
        const __m256d im = _mm256_mul_pd(_mm256_permute_pd(xv, 0x5), _mm256_permute_pd(hv, 0xF));
        _mm256_storeu_pd(y + b, _mm256_addsub_pd(re, im));
    }
    MultiplyPlain(x + b, h + b, y + b, values - b / 2);
}

void Multiply(const double* x, const double* h, double* y, std::size_t values) {
    static const bool avx = __builtin_cpu_supports("avx");
    if (avx) {
        MultiplyAvx(x, h, y, values);
    } else {
        MultiplyPlain(x, h, y, values);
    }
}
#else
void Multiply(const double* x, const double* h, double* y, std::size_t values) {
    MultiplyPlain(x, h, y, values);
}
#endif

// An output as the direct kernel stores it: rounded to float, or not.
inline double Stored(double value, bool rounds) {
    return rounds ? static_cast<double>(static_cast<float>(value)) : value;
}

// o[2m] = a[m], o[2m + 1] = b[m], each as stored.
void Interleave(const double* a, const double* b, double* o, std::size_t count, bool rounds) {
    if (rounds) {
        for (std::size_t m = 0; m < count; ++m) {
            o[2 * m] = Stored(a[m], true);
            o[2 * m + 1] = Stored(b[m], true);
        }
        return;
    }
    for (std::size_t m = 0; m < count; ++m) {
        o[2 * m] = a[m];
        o[2 * m + 1] = b[m];
    }
}

// Bin k of the folded spectrum sums bins k + r N / d of the full one
// (r = 0 .. d - 1, in turn), those past N / 2 the conjugates of their
// mirrors. Run r by r, over the bins in two runs each, so the loops
// vectorise; each bin still adds its terms in the order of r.
MARROWVALE_VECTOR_CLONES
void Fold(const double* product, double* folded, std::size_t n, std::size_t d) {
    const std::size_t short_bins = n / d / 2 + 1;
    std::fill(folded, folded + 2 * short_bins, 0.0);
    for (std::size_t r = 0; r < d; ++r) {
        const std::size_t offset = r * (n / d);
        // Bins up to N / 2 - offset are taken as they are.
        const std::size_t direct = offset <= n / 2 ? std::min(short_bins, n / 2 - offset + 1) : 0;
        for (std::size_t k = 0; k < direct; ++k) {
            folded[2 * k] += product[2 * (k + offset)];
            folded[2 * k + 1] += product[2 * (k + offset) + 1];
        }
        const double* mirror = product + 2 * (n - offset);
        for (std::size_t k = direct; k < short_bins; ++k) {
            folded[2 * k] += mirror[-2 * static_cast<std::ptrdiff_t>(k)];
            folded[2 * k + 1] -= mirror[-2 * static_cast<std::ptrdiff_t>(k) + 1];
        }
    }
}

} // namespace

FftConvolver::FftConvolver(std::shared_ptr<const FftBranches> new_spectra, int new_down,
                           std::size_t new_block_length, bool new_rounds)
    : spectra(std::move(new_spectra)), down(static_cast<std::size_t>(new_down)), rounds(new_rounds),
      block_length(new_block_length) {
    const std::size_t n = spectra->Length();
    const std::size_t fold = spectra->Fold();
    const std::size_t step = FftBranches::Step(n, spectra->Taps(), fold);
    const std::size_t parts = (block_length + step - 1) / step;
    // A folded stage's parts start on multiples of d (blocks are multiples
    // of the down factor).
    part = ((block_length + parts - 1) / parts + fold - 1) / fold * fold;
    work.assign(WorkLength(n, spectra->Up()), 0.0);
    used.assign(static_cast<std::size_t>(spectra->Up()), 0);
}

void FftConvolver::Filter(const double* buffer, std::size_t outputs, double* out) {
    const FftBranches& f = *spectra;
    const std::size_t n = f.Length();
    const std::size_t t = f.Taps();
    const std::size_t up = static_cast<std::size_t>(f.Up());
    const std::size_t bins = f.Bins();
    // Work buffers, each 64-byte aligned: the branch outputs (up times N),
    // the input part (N), its spectrum and a product (N + 8 each, to keep
    // the next one aligned).
    double* branch_out = work.data();
    double* in = branch_out + up * n;
    double* spectrum = in + n;
    double* product = spectrum + n + 8;

    if (f.Fold() > 1) {
        FilterFolded(buffer, outputs, out);
        return;
    }
    for (std::size_t s = 0; s < block_length; s += part) {
        const std::size_t count = std::min(part, block_length - s);
        // Outputs k whose newest sample, (k * down) / up, lies in this part.
        const std::size_t first = (s * up + down - 1) / down;
        const std::size_t last = std::min(outputs, ((s + count) * up + down - 1) / down);
        if (first >= last) {
            continue;
        }
        // The part and the T - 1 samples before it: the oldest sample of the
        // part's first output is buffer[s + 1].
        const std::size_t span = count + t - 1;
        std::copy(buffer + s + 1, buffer + s + 1 + span, in);
        std::fill(in + span, in + n, 0.0);
        f.Forward(in, spectrum);

        std::fill(used.begin(), used.end(), 0);
        for (std::size_t k = first; k < last && k < first + up; ++k) {
            used[(k * down) % up] = 1;
        }
        for (std::size_t p = 0; p < up; ++p) {
            if (used[p] == 0) {
                continue;
            }
            Multiply(spectrum, f.Spectrum(static_cast<int>(p)), product, bins);
            f.Inverse(product, branch_out + p * n);
        }
        // Branch p's output for the newest sample i of the part sits at
        // T - 1 + (i - s): the first T - 1 values wrap around.
        if (down == 1 && last - first == count * up) {
            // Output k = i * up + p: every branch, in turn.
            const double* y = branch_out + t - 1;
            double* o = out + first;
            if (up == 2) {
                // The common doubling stage, in a loop the compiler vectorises.
                Interleave(y, y + n, o, count, rounds);
                continue;
            }
            for (std::size_t m = 0; m < count; ++m) {
                for (std::size_t p = 0; p < up; ++p) {
                    *o++ = Stored(y[p * n + m], rounds);
                }
            }
            continue;
        }
        // i and p follow
        // k by steps, without a division per output.
        const std::size_t step_i = down / up;
        const std::size_t step_p = down % up;
        std::size_t p = (first * down) % up;
        std::size_t at = p * n + t - 1 + (first * down) / up - s;
        for (std::size_t k = first; k < last; ++k) {
            out[k] = Stored(branch_out[at], rounds);
            at += step_i + step_p * n;
            p += step_p;
            if (p >= up) {
                p -= up;
                at = at + 1 - up * n;
            }
        }
    }
}

void FftConvolver::FilterFolded(const double* buffer, std::size_t outputs, double* out) {
    const FftBranches& f = *spectra;
    const std::size_t n = f.Length();
    const std::size_t t = f.Taps();
    const std::size_t d = f.Fold(); // the down factor; up is 1
    const std::size_t bins = f.Bins();
    double* short_out = work.data();
    double* in = short_out + n;
    double* spectrum = in + n;
    double* product = spectrum + n + 8;
    // Zeros before the part put the outputs it keeps, at T - 1 + shift +
    // (i - s) in the convolution, on multiples of d.
    const std::size_t shift = (d - (t - 1) % d) % d;
    const double* h = f.Spectrum(0);

    for (std::size_t s = 0; s < block_length; s += part) {
        const std::size_t count = std::min(part, block_length - s);
        const std::size_t first = s / d;
        const std::size_t last = std::min(outputs, (s + count) / d);
        if (first >= last) {
            continue;
        }
        const std::size_t span = count + t - 1;
        std::fill(in, in + shift, 0.0);
        std::copy(buffer + s + 1, buffer + s + 1 + span, in + shift);
        std::fill(in + shift + span, in + n, 0.0);
        f.Forward(in, spectrum);
        Multiply(spectrum, h, product, bins);
        Fold(product, spectrum, n, d);
        f.Inverse(spectrum, short_out);
        const double* kept = short_out + (t - 1 + shift) / d - first;
        for (std::size_t k = first; k < last; ++k) {
            out[k] = Stored(kept[k], rounds);
        }
    }
}
