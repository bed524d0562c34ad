#pragma once

namespace dsp::dither {

// A source of one integer per output sample, added to the signal before it is
// rounded to a coarser step.
class IDither {
public:
    // Sets the amplitude from the rounding step (2^step_bits input units) and
    // the amplitude control, and restarts the random source.
    virtual void Init(int step_bits, int dither_bits, int shift) = 0;
    // The next dither value in input units.
    virtual int Next() = 0;

protected:
    ~IDither() = default;
};

} // namespace dsp::dither
