#pragma once

#include "dsp/dither/IDither.hpp"

namespace dsp::dither {

// No dither: every value is 0.
class dummy_dither final : public IDither {
public:
    void Init(int, int, int) override {}
    int Next() override { return 0; }
};

} // namespace dsp::dither
