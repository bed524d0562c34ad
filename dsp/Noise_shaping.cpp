#include "dsp/Noise_shaping.hpp"

namespace dsp::noise_shaping {

// The signs are those of the weights on the past errors, not of the noise
// transfer: table_1 is -2, 1 (noise 1 + 2z^-1 - z^-2), not 2, -1.
const std::array<double, 1> table_0 = {0.0};
const std::array<double, 2> table_1 = {-2.0, 1.0};
const std::array<double, 3> table_2 = {1.623, -0.982, 0.109};
const std::array<double, 9> table_3 = {2.412,  -3.370, 3.937,  -4.174, 3.353,
                                       -2.205, 1.281,  -0.569, 0.0847};

} // namespace dsp::noise_shaping
