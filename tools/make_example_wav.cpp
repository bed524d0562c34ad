// Writes a recording (stereo 44.1 kHz 16-bit unless told otherwise) with
// music-like content: a few chords of harmonic tones with note envelopes, a
// little vibrato and a soft noise floor, panned differently in each channel
// (mono takes the middle of the stereo image).
//
// Usage: make_example_wav OUTPUT.wav [SECONDS [RATE [BITS [CHANNELS]]]]

#include "audio/riffwave/WaveFile_type.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <vector>

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::cerr << "usage: make_example_wav OUTPUT.wav [SECONDS [RATE [BITS [CHANNELS]]]]\n";
        return 2;
    }
    const double seconds = argc > 2 ? std::atof(argv[2]) : 4.0;
    const int rate = argc > 3 ? std::atoi(argv[3]) : 44100;
    const int bits = argc > 4 ? std::atoi(argv[4]) : 16;
    const int channels = argc > 5 ? std::atoi(argv[5]) : 2;
    if (rate <= 0 || (bits != 8 && bits != 16 && bits != 24 && bits != 32) || channels < 1 ||
        channels > 64) {
        std::cerr << "make_example_wav: the rate must be positive, the width 8, 16, 24 or 32 "
                     "and the channels 1 to 64\n";
        return 2;
    }
    const auto width = static_cast<std::size_t>(channels);
    const double full_scale = std::ldexp(1.0, bits - 1) - 1.0;
    const auto frames = static_cast<std::size_t>(seconds * rate);
    const double pi = 3.14159265358979323846;

    // Four chords (root frequencies in Hz, each with a major triad).
    const double roots[] = {220.0, 174.61, 261.63, 196.0};
    const double intervals[] = {1.0, 1.259921, 1.498307};
    const double chord_length = seconds / 4.0;

    std::vector<std::int32_t> samples(frames * width);
    std::uint32_t noise_state = 12345;
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        const int chord = static_cast<int>(t / chord_length) % 4;
        const double in_chord = std::fmod(t, chord_length);
        const double envelope = std::min(1.0, in_chord * 40.0) * std::exp(-1.5 * in_chord);
        double left = 0.0;
        double right = 0.0;
        for (int note = 0; note < 3; ++note) {
            const double f =
                roots[chord] * intervals[note] * (1.0 + 0.002 * std::sin(2 * pi * 5 * t));
            double tone = 0.0;
            for (int harmonic = 1; harmonic <= 6; ++harmonic) {
                tone += std::sin(2 * pi * f * harmonic * t) / (harmonic * harmonic);
            }
            const double pan = 0.3 + 0.2 * note;
            left += tone * (1.0 - pan);
            right += tone * pan;
        }
        noise_state = noise_state * 1664525U + 1013904223U;
        const double noise = (static_cast<double>(noise_state >> 8) / 16777216.0 - 0.5) * 0.002;
        for (std::size_t c = 0; c < width; ++c) {
            // From the left of the image to the right; stereo is exactly left, right.
            const double place = channels == 1 ? 0.5 : static_cast<double>(c) / (channels - 1);
            const double mix = (1.0 - place) * left + place * right;
            samples[width * i + c] = static_cast<std::int32_t>(
                std::lround((0.22 * envelope * mix + noise) * full_scale));
        }
    }

    audio::riffwave::WaveFile_type file;
    if (!file.OpenWrite(argv[1], channels, rate, bits)) {
        std::cerr << "make_example_wav: cannot create " << argv[1] << "\n";
        return 1;
    }
    file.WriteSamples(samples, static_cast<unsigned>(samples.size()));
    file.Close();
    if (file.Failed()) {
        std::cerr << "make_example_wav: writing " << argv[1] << " failed\n";
        return 1;
    }
    return 0;
}
