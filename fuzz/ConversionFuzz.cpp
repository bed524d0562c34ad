// libFuzzer target: arbitrary bytes converted as an input file. The first
// bytes choose the settings; the rest is the file. The output, when one is
// made, must be a well-formed header whose sizes match the file's length.

#include "app/Task_convert.hpp"
#include "audio/riffwave/WaveFile_type.hpp"
#include "task/TaskProgress_StdOstream.hpp"
#include "task/TaskStatus.hpp"

#include <boost/filesystem/operations.hpp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

// Rates of 1 to 7 Hz are covered by the unit tests: flushing their filter
// latency takes seconds under the sanitizers, which would starve the search.
const std::int32_t rates[] = {0,     8000,  11025, 16000, 22050,  32000,  44100,  44101,
                              48000, 88200, 96000, 7999,  192000, 384000, 768000, 12345};

std::uint32_t Get32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int b = 3; b >= 0; --b) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(b)]);
    }
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) {
        return 0;
    }
    namespace fs = boost::filesystem;
    static const fs::path folder = "/tmp/marrowvale_fuzz_convert_" + std::to_string(::getpid());
    static const fs::path input = folder / "in.wav";
    fs::create_directories(folder);
    std::string file(reinterpret_cast<const char*>(data + 4), size - 4);
    // Every new rate pair plans and designs its filters afresh, which would
    // slow the search to a few runs a second; unless bit 2 of the fourth
    // byte says otherwise, a plain header's rate is replaced by a common one.
    if ((data[3] & 4) == 0 && file.size() >= 28 && file.compare(12, 4, "fmt ") == 0) {
        static const std::uint32_t common_rates[] = {44100, 48000, 96000, 22050};
        const std::uint32_t rate = common_rates[(data[3] >> 3) & 3];
        for (std::size_t b = 0; b < 4; ++b) {
            file[24 + b] = static_cast<char>((rate >> (8 * b)) & 0xFF);
        }
    }
    {
        std::ofstream out(input.string(), std::ios::binary | std::ios::trunc);
        out.write(file.data(), static_cast<std::streamsize>(file.size()));
    }

    marrowvale::ConversionSettings settings;
    settings.output_folder = folder / "out";
    settings.new_sampling_rate = rates[data[0] % 16];
    settings.new_bit_depth = data[1] % 33;
    settings.container_bits =
        settings.new_bit_depth == 0 ? 0 : (settings.new_bit_depth + 7) / 8 * 8;
    settings.dither_type = data[2] % 3;
    settings.dither_bits = (data[2] / 3) % 3;
    settings.noise_shaping = data[3] % 4;
    settings.float_output = (data[3] & 32) != 0;
    // The steep filters only at common rates: an odd pair designs tables of
    // a hundred megabytes, which would slow the search to a crawl.
    const std::int32_t asked_rate = settings.new_sampling_rate;
    const bool common = (data[3] & 4) == 0 &&
                        (asked_rate == 0 || asked_rate % 1000 == 0 || asked_rate % 11025 == 0);
    settings.filter = (data[3] & 64) != 0 && common ? 1 : 0;

    // Keep each run small: skip inputs whose output would be large.
    audio::riffwave::WaveFile_type probe;
    if (!probe.OpenRead(input)) {
        return 0;
    }
    probe.Close();
    const double out_rate =
        settings.new_sampling_rate != 0 ? settings.new_sampling_rate : probe.SampleRate();
    const double in_rate = probe.SampleRate();
    if (in_rate == 0 || static_cast<double>(probe.TotalSamples()) * out_rate / in_rate > 1.0e5 ||
        probe.Channels() > 16) {
        return 0;
    }

    marrowvale::Task_Convert task;
    task.Setup(settings, input);
    task.SetThreadCount(1);
    std::ostringstream progress_text;
    task::TaskProgress_StdOstream progress(progress_text, "", "", "");
    volatile std::sig_atomic_t stop = 0;
    task::TaskStatus status(stop);
    task.Run(progress, status);

    const fs::path output = task.OutputPath();
    if (task.Outcome() == marrowvale::ConversionOutcome::Converted) {
        std::ifstream in(output.string(), std::ios::binary);
        std::ostringstream bytes_stream;
        bytes_stream << in.rdbuf();
        const std::string bytes = bytes_stream.str();
        // The RIFF size is the file's length less 8, and the chunks walk to
        // a "data" chunk whose body runs to the end of the file.
        bool sound = bytes.size() >= 12 && bytes.compare(0, 4, "RIFF") == 0 &&
                     Get32(bytes, 4) == bytes.size() - 8;
        std::size_t at = 12;
        while (sound && at + 8 <= bytes.size() && bytes.compare(at, 4, "data") != 0) {
            at += 8 + Get32(bytes, at + 4);
        }
        sound = sound && at + 8 <= bytes.size() && Get32(bytes, at + 4) == bytes.size() - at - 8;
        if (!sound) {
            std::fprintf(stderr, "output header does not match the file's length\n");
            std::abort();
        }
    }
    boost::system::error_code ignored;
    fs::remove_all(folder / "out", ignored);
    return 0;
}
