#pragma once

// The transform plans measured once by tools/make_fft_wisdom, in the
// library's own text form (see FftBranches).
extern const char fft_wisdom[];
