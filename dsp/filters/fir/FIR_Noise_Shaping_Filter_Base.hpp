#pragma once

namespace dsp::filters::fir {

// An error-feedback filter: it stores the quantisation errors of earlier
// samples and returns their weighted sum for the next one.
template <typename T>
class FIR_Noise_Shaping_Filter_Base {
public:
    // The weighted sum of the stored errors; advances the filter by one sample.
    virtual T Filter() = 0;
    // Stores the error of the sample that the preceding Filter() was for.
    virtual void Push(const T& e) = 0;

protected:
    ~FIR_Noise_Shaping_Filter_Base() = default;
};

} // namespace dsp::filters::fir
