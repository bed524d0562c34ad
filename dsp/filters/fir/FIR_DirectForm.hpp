#pragma once

#include "dsp/filters/fir/FIR_Noise_Shaping_Filter_Base.hpp"

#include <array>
#include <cstddef>

namespace dsp::filters::fir {

// A direct-form FIR filter with N taps. Filter() returns
//   s[n] = sum over k of c[k] * e[n-1-k],
// so c[0] weighs the error pushed for the previous sample. Every error is kept
// twice, at the cursor and at cursor + N, so the N newest errors always lie
// contiguously from the cursor on, newest first, and the sum needs no modulo.
template <std::size_t N, typename T>
class FIR_DirectForm final : public FIR_Noise_Shaping_Filter_Base<T> {
    static_assert(N >= 1, "a filter needs at least one tap");

public:
    FIR_DirectForm() {
        for (std::size_t i = 0; i < N; ++i) {
            successor[i] = (i + N - 1) % N;
            coefficients[i] = T(1);
        }
        Reset();
    }

    // Copies [first, last) into c[0], c[1], ... until the range or the N taps
    // run out; taps beyond a short range keep their values. Clears the history.
    template <typename InputIt>
    void SetCoefficients(InputIt first, InputIt last) {
        Reset();
        for (std::size_t i = 0; i < N && first != last; ++i, ++first) {
            coefficients[i] = *first;
        }
    }

    void Reset() {
        history.fill(T(0));
        cursor = successor[0];
    }

    T Filter() override {
        // Oldest first: the newest error, the only one that the caller has
        // just pushed, then enters last, which keeps the chain from one
        // sample's error to the next sample's correction short.
        T sum = T(0);
        const T* newest = history.data() + cursor;
        for (std::size_t k = N; k-- > 0;) {
            sum += coefficients[k] * newest[k];
        }
        cursor = successor[cursor];
        return sum;
    }

    void Push(const T& e) override {
        history[cursor + N] = e;
        history[cursor] = e;
    }

private:
    std::array<std::size_t, N> successor{};
    std::array<T, N> coefficients{};
    std::size_t cursor = 0;
    std::array<T, 2 * N> history{};
};

extern template class FIR_DirectForm<1, double>;
extern template class FIR_DirectForm<2, double>;
extern template class FIR_DirectForm<3, double>;
extern template class FIR_DirectForm<9, double>;

} // namespace dsp::filters::fir
