#pragma once

// IEEE float WAVE files for the tests: built and read here, independently of
// the project's own codecs.

#include "support/WaveBytes.hpp"

#include <string>
#include <vector>

namespace testsupport {

using Values = std::vector<double>;

// Little-endian IEEE floats of 4 or 8 bytes; each value is rounded to the
// width (to float for 4 bytes).
Bytes EncodeFloats(const Values& values, unsigned width);
Values DecodeFloats(const Bytes& bytes, unsigned width);

// A float file: tag 3 (or the extensible form with the float sub-format),
// 32 or 64 bits, a "fact" chunk with the frames, then the samples.
Bytes MakeFloatWav(int channels, std::uint32_t rate, int bits, const Values& samples,
                   bool extensible = false);

// The body of the first chunk called `id`, walking from the head; empty
// when there is none.
Bytes ChunkBody(const Bytes& file, const std::string& id);
// The chunk ids of the file in order.
std::vector<std::string> ChunkIds(const Bytes& file);

} // namespace testsupport
