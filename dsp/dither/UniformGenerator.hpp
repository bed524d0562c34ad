#pragma once

#include <boost/make_shared.hpp>
#include <boost/random/mersenne_twister.hpp>
#include <boost/random/uniform_int.hpp>
#include <boost/random/variate_generator.hpp>
#include <boost/shared_ptr.hpp>
#include <cstdint>

namespace dsp::dither {

// A uniform integer source over an inclusive range, with its own engine state.
using UniformGenerator = boost::variate_generator<boost::mt19937, boost::uniform_int<int>>;

inline boost::shared_ptr<UniformGenerator> MakeUniformGenerator(std::uint32_t seed, int lo,
                                                                int hi) {
    return boost::make_shared<UniformGenerator>(boost::mt19937(seed),
                                                boost::uniform_int<int>(lo, hi));
}

} // namespace dsp::dither
