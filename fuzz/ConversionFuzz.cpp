// libFuzzer target: arbitrary bytes converted as an input file. The first
// bytes choose the settings; the rest is the file. The output, when one is
// made, must be a well-formed header whose sizes match the file's length,
// with its chunks, carried ones included, adding up to that length.

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

// Output rates: common ones (0 keeps the input's), and, for one run in 32,
// odd ones with the input header's own rate, whose filters are long enough
// to cost a hundred common runs. Rates of 1 to 7 Hz are covered by the unit
// tests: flushing their filter latency takes seconds under the sanitizers.
const std::int32_t common_rates[] = {0,     8000,  11025, 16000, 22050, 32000,
                                     44100, 48000, 88200, 96000, 192000};
const std::int32_t odd_rates[] = {44101, 7999, 384000, 768000, 12345};

std::uint64_t Get(const std::string& bytes, std::size_t at, int count) {
    std::uint64_t value = 0;
    for (int b = count - 1; b >= 0; --b) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(b)]);
    }
    return value;
}

// Whether a written file's sizes add up: its RIFF (or ds64) size is the
// file's length less 8, and its chunks, "fmt " and then "data" among them,
// end exactly at the end of the file.
bool SizesAddUp(const std::string& bytes) {
    if (bytes.size() < 12 || bytes.compare(8, 4, "WAVE") != 0) {
        return false;
    }
    const bool rf64 = bytes.compare(0, 4, "RF64") == 0;
    if (!rf64 && bytes.compare(0, 4, "RIFF") != 0) {
        return false;
    }
    std::uint64_t riff_size = Get(bytes, 4, 4);
    std::uint64_t ds64_data_size = 0;
    bool format_seen = false;
    bool data_seen = false;
    std::size_t at = 12;
    while (at + 8 <= bytes.size()) {
        const std::string id = bytes.substr(at, 4);
        std::uint64_t size = Get(bytes, at + 4, 4);
        if (rf64 && at == 12) {
            if (id != "ds64" || size < 24 || at + 32 > bytes.size()) {
                return false;
            }
            riff_size = Get(bytes, at + 8, 8);
            ds64_data_size = Get(bytes, at + 16, 8);
        }
        if (id == "fmt ") {
            format_seen = true;
        } else if (id == "data") {
            if (!format_seen || data_seen) {
                return false;
            }
            data_seen = true;
            if (rf64 && size == 0xFFFFFFFFu) {
                size = ds64_data_size;
            }
        }
        at += 8 + size + (size & 1u); // every odd body has its pad byte
    }
    return data_seen && at == bytes.size() && riff_size == bytes.size() - 8;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 4) {
        return 0;
    }
    namespace fs = boost::filesystem;
    // In memory where the system has it: rewriting a file on disk waits for
    // the disk at every close.
    static const fs::path folder = fs::path(::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") /
                                   ("marrowvale_fuzz_convert_" + std::to_string(::getpid()));
    static const fs::path input = folder / "in.wav";
    fs::create_directories(folder);
    std::string file(reinterpret_cast<const char*>(data + 4), size - 4);
    // Every new rate pair plans and designs its filters afresh, which would
    // slow the search to a few runs a second; but in the odd runs, a plain
    // header's rate is replaced by a common one. The "fmt " chunk stands
    // first, or after an RF64 file's ds64 chunk.
    const bool odd = data[0] % 32 == 31;
    std::uint64_t fmt_at = 12;
    if (file.size() >= 20 && file.compare(12, 4, "ds64") == 0) {
        const std::uint64_t ds64_size = Get(file, 16, 4);
        fmt_at = 20 + ds64_size + (ds64_size & 1u);
    }
    if (!odd && fmt_at + 16 <= file.size() &&
        file.compare(static_cast<std::size_t>(fmt_at), 4, "fmt ") == 0) {
        static const std::uint32_t input_rates[] = {44100, 48000, 96000, 22050};
        const std::uint32_t rate = input_rates[(data[3] >> 3) & 3];
        for (std::size_t b = 0; b < 4; ++b) {
            file[static_cast<std::size_t>(fmt_at) + 12 + b] =
                static_cast<char>((rate >> (8 * b)) & 0xFF);
        }
    }
    {
        std::ofstream out(input.string(), std::ios::binary | std::ios::trunc);
        out.write(file.data(), static_cast<std::streamsize>(file.size()));
    }

    marrowvale::ConversionSettings settings;
    settings.output_folder = folder / "out";
    settings.new_sampling_rate = odd ? odd_rates[data[0] / 32 % 5] : common_rates[data[0] % 11];
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
    const bool common =
        !odd && (asked_rate == 0 || asked_rate % 1000 == 0 || asked_rate % 11025 == 0);
    settings.filter = (data[3] & 64) != 0 && common ? 1 : 0;
    settings.strip_metadata = ((data[2] / 9) & 1) != 0;

    // Keep each run small: skip inputs whose output would be large.
    audio::riffwave::WaveFile_type probe;
    if (!probe.OpenRead(input)) {
        return 0;
    }
    probe.Close();
    const double out_rate =
        settings.new_sampling_rate != 0 ? settings.new_sampling_rate : probe.SampleRate();
    const double in_rate = probe.SampleRate();
    if (in_rate == 0 ||
        static_cast<double>(probe.FramesInFile() * probe.Channels()) * out_rate / in_rate > 3.0e4 ||
        probe.Channels() > 8) {
        return 0;
    }

    marrowvale::Task_Convert task;
    task.Setup(settings, input);
    task.SetThreadCount(1);
    if ((data[3] & 128) != 0) {
        task.SetPlainFileLimit(0); // every output RF64
    }
    std::ostringstream progress_text;
    task::TaskProgress_StdOstream progress(progress_text, "", "", "");
    std::atomic<bool> stop{false};
    task::TaskStatus status(stop);
    task.Run(progress, status);

    const fs::path output = task.OutputPath();
    if (task.Outcome() == marrowvale::ConversionOutcome::Converted) {
        std::ifstream in(output.string(), std::ios::binary);
        std::ostringstream bytes_stream;
        bytes_stream << in.rdbuf();
        const std::string bytes = bytes_stream.str();
        const bool sound = SizesAddUp(bytes);
        if (!sound) {
            std::fprintf(stderr, "output header does not match the file's length\n");
            std::abort();
        }
    }
    boost::system::error_code ignored;
    fs::remove_all(folder / "out", ignored);
    return 0;
}
