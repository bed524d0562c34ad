#include "dsp/filters/fir/FIR_DirectForm.hpp"

namespace dsp::filters::fir {

// The tap counts of the noise-shaping tables.
template class FIR_DirectForm<1, double>;
template class FIR_DirectForm<2, double>;
template class FIR_DirectForm<3, double>;
template class FIR_DirectForm<9, double>;

} // namespace dsp::filters::fir
