// Measures the plans of every transform the steep stages may use and writes
// them as dsp/polyphase/FftWisdom.cpp to standard output:
//   build/release/make_fft_wisdom > dsp/polyphase/FftWisdom.cpp
// Plans already kept there are kept as they are, so that the output bytes of
// --filter 1 only change when that file is emptied on purpose.
#include "dsp/polyphase/FftBranches.hpp"

#include <cstdio>
#include <string>

int main() {
    // Folded inverse transforms serve decimation by d up to this.
    constexpr std::size_t max_fold = 32;
    std::string wisdom;
    for (const std::size_t n : FftBranches::Lengths()) {
        for (std::size_t d = 1; d <= max_fold; ++d) {
            if (d == 1 || n % (2 * d) == 0) {
                wisdom = FftBranches::Measure(n, d);
            }
        }
        std::fprintf(stderr, "measured %zu\n", n);
    }
    std::printf("#include \"dsp/polyphase/FftWisdom.hpp\"\n\n"
                "// Made by tools/make_fft_wisdom; not edited by hand.\n"
                "const char fft_wisdom[] = R\"(%s)\";\n",
                wisdom.c_str());
}
