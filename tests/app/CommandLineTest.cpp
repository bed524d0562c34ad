#include "app/CommandLine.hpp"

#include "support/RunProgram.hpp"

#include <boost/program_options/errors.hpp>
#include <gtest/gtest.h>

using marrowvale::CommandLineAction;
using marrowvale::ParseCommandLine;

namespace {

marrowvale::CommandLine Parse(std::vector<std::string> arguments) {
    return ParseCommandLine(arguments);
}

} // namespace

TEST(CommandLine, SufficiencyCountsPresenceNotValue) {
    EXPECT_EQ(Parse({}).action, CommandLineAction::NotEnoughArguments);
    EXPECT_EQ(Parse({"-i", "a.wav", "-o", "out"}).action, CommandLineAction::NotEnoughArguments);
    EXPECT_EQ(Parse({"-i", "a.wav", "-s", "48000"}).action, CommandLineAction::NotEnoughArguments);
    EXPECT_EQ(Parse({"-o", "out", "-b", "16"}).action, CommandLineAction::NotEnoughArguments);
    EXPECT_EQ(Parse({"-h", "-i", "a.wav", "-o", "out", "-b", "16"}).action,
              CommandLineAction::Help);

    const auto zero_depth = Parse({"-i", "a.wav", "-o", "out", "-b", "0"});
    ASSERT_EQ(zero_depth.action, CommandLineAction::Convert);
    EXPECT_EQ(zero_depth.settings.new_bit_depth, 0);
    EXPECT_EQ(zero_depth.settings.container_bits, 0);
    EXPECT_EQ(zero_depth.settings.new_sampling_rate, 0);
    EXPECT_EQ(Parse({"-i", "a.wav", "-o", "out", "-s", "0"}).action, CommandLineAction::Convert);
}

TEST(CommandLine, NamedInputHidesPositionalFiles) {
    const auto positional = Parse({"a.wav", "b.wav", "-o", "out", "-b", "16"});
    ASSERT_EQ(positional.input_files.size(), 2u);
    EXPECT_EQ(positional.input_files[0].string(), "a.wav");
    EXPECT_EQ(positional.input_files[1].string(), "b.wav");

    const auto named = Parse({"-i", "a.wav", "b.wav", "-o", "out", "-b", "16"});
    ASSERT_EQ(named.input_files.size(), 1u);
    EXPECT_EQ(named.input_files[0].string(), "a.wav");

    const auto twice = Parse({"-i", "a.wav", "--input_file=c.wav", "-o", "out", "-b", "16"});
    ASSERT_EQ(twice.input_files.size(), 2u);
    EXPECT_EQ(twice.input_files[1].string(), "c.wav");
}

TEST(CommandLine, RangeTestReplacesOutOfRangeValuesByZero) {
    const auto settings = [](std::vector<std::string> extra) {
        std::vector<std::string> arguments{"-i", "a.wav", "-o", "out"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return Parse(arguments).settings;
    };
    EXPECT_EQ(settings({"-s", "800000"}).new_sampling_rate, 0);
    EXPECT_EQ(settings({"-s", "768000"}).new_sampling_rate, 768000);
    EXPECT_EQ(settings({"-s", "4294967295"}).new_sampling_rate, 0);
    EXPECT_EQ(settings({"-s", "1", "-t", "3"}).dither_type, 0);
    EXPECT_EQ(settings({"-s", "1", "-t", "2"}).dither_type, 2);
    EXPECT_EQ(settings({"-s", "1", "-n", "4"}).noise_shaping, 0);
    EXPECT_EQ(settings({"-s", "1", "-n", "3"}).noise_shaping, 3);
    EXPECT_EQ(settings({"-s", "1", "-d", "3"}).dither_bits, 0);
    const auto dither_only = settings({"-s", "1", "-t", "1"});
    EXPECT_EQ(dither_only.dither_type, 1);
    EXPECT_EQ(dither_only.dither_bits, 0);
}

TEST(CommandLine, ContainerRule) {
    const auto settings = [](std::vector<std::string> extra) {
        std::vector<std::string> arguments{"-i", "a.wav", "-o", "out"};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return Parse(arguments).settings;
    };
    const auto over = settings({"-b", "33"});
    EXPECT_EQ(over.new_bit_depth, 0);
    EXPECT_EQ(over.container_bits, 0);
    EXPECT_EQ(settings({"-b", "20"}).container_bits, 24);
    EXPECT_EQ(settings({"-b", "20", "-c", "32"}).container_bits, 32);
    EXPECT_EQ(settings({"-b", "20", "-c", "40"}).container_bits, 0);
    EXPECT_EQ(settings({"-b", "20", "-c", "16"}).container_bits, 16); // never compared with -b
    EXPECT_EQ(settings({"-s", "48000", "-c", "16"}).container_bits, 0);
    for (unsigned bits = 0; bits <= 40; ++bits) {
        const int expected = bits == 0    ? 0
                             : bits <= 8  ? 8
                             : bits <= 16 ? 16
                             : bits <= 24 ? 24
                             : bits <= 32 ? 32
                                          : 0;
        EXPECT_EQ(marrowvale::ContainerWidth(bits), expected) << bits;
    }
}

TEST(CommandLine, MalformedOptionsThrow) {
    using Error = boost::program_options::error;
    EXPECT_THROW(Parse({"-i", "a.wav", "-o", "out", "-s", "-5"}), Error);
    EXPECT_THROW(Parse({"-i", "a.wav", "-o", "out", "-s", "12k"}), Error);
    EXPECT_THROW(Parse({"-i", "a.wav", "-o", "out", "-s", "99999999999"}), Error);
    EXPECT_THROW(Parse({"-i", "a.wav", "-o", "out", "-s", "1", "-s", "2"}), Error);
    EXPECT_THROW(Parse({"-i", "a.wav", "-o", "out", "--bogus"}), Error);
    EXPECT_THROW(Parse({"-i", "a.wav", "-s", "1", "-o"}), Error);
}

TEST(CommandLine, BackslashesAreSeparators) {
    EXPECT_EQ(marrowvale::MakeNativePath("\\\\server\\share").string(), "//server/share");
    EXPECT_EQ(marrowvale::MakeNativePath("C:\\music\\a.wav").string(), "C:/music/a.wav");
}

TEST(CommandLineProgram, ListingAndNotEnoughArguments) {
    const std::string banner = "Marrowvale Command Line ver. 1.0\n\n";
    const char* const option_lines[] = {
        "Allowed options:\n",
        "  -h [ --help ] ",
        "Display this help message\n",
        "  -i [ --input_file ] arg ",
        "Input Wave File\n",
        "  -s [ --new_sampling_rate ] arg New Sampling Rate\n",
        "  -b [ --new_bit_depth ] arg ",
        "New Bit Depth\n",
        "  -c [ --container_bits ] arg ",
        "Container Bit Depth\n",
        "  -t [ --dither_type ] arg ",
        "Type of Dither\n",
        "  -d [ --dither_bits ] arg ",
        "Number of Dither Bits to Add\n",
        "  -n [ --noise_shaping ] arg ",
        "Type of Noise Shaping\n",
        "  -o [ --output_folder ] arg ",
        "Output Folder\n",
        "  --float ",
        "Write 32-bit float samples\n",
        "  -j [ --jobs ] arg ",
        "Threads in all (0: one per core)\n",
        "  -q [ --quiet ] ",
        "No banner, reports or progress bars\n",
        "  --files-from arg ",
        "File of input names, one a line\n",
        "  --shard arg ",
        "K/N: only every Nth file, from the Kth\n",
        "  --input-root DIR ",
        "  --skip-existing ",
        "  --report FILE ",
        "(-: stdout)\n\n",
    };
    auto expect_listing = [&](const std::string& text, std::size_t from) {
        std::size_t at = from;
        for (const char* line : option_lines) {
            const std::size_t found = text.find(line, at);
            ASSERT_NE(found, std::string::npos) << line;
            at = found;
        }
        EXPECT_EQ(text.substr(text.size() - 2), "\n\n");
    };

    const auto none = testsupport::RunMarrowvale({});
    EXPECT_EQ(none.exit_status, 2);
    const std::string not_enough = banner + "Not enough arguments\n\nAllowed options:\n";
    EXPECT_EQ(none.out.substr(0, not_enough.size()), not_enough);
    expect_listing(none.out, banner.size());
    EXPECT_EQ(none.err, "");

    const auto help = testsupport::RunMarrowvale({"-h", "-i", "a.wav", "-o", "out", "-b", "16"});
    EXPECT_EQ(help.exit_status, 0);
    EXPECT_EQ(help.out.substr(0, banner.size() + 17), banner + "Allowed options:\n");
    expect_listing(help.out, banner.size());
    EXPECT_EQ(help.out.find("Converting"), std::string::npos);

    const auto missing_depth = testsupport::RunMarrowvale({"-i", "a.wav", "-o", "out"});
    EXPECT_EQ(missing_depth.exit_status, 2);
    EXPECT_EQ(missing_depth.out.substr(0, not_enough.size()), not_enough);

    const auto bad = testsupport::RunMarrowvale({"-i", "a.wav", "-o", "out", "-s", "x"});
    EXPECT_NE(bad.exit_status, 0);
    EXPECT_EQ(bad.out, banner);
    EXPECT_NE(bad.err.find("new_sampling_rate"), std::string::npos);
}
