#include "app/CommandLine.hpp"

#include <algorithm>
#include <boost/program_options/parsers.hpp>
#include <boost/program_options/positional_options.hpp>
#include <boost/program_options/value_semantic.hpp>
#include <boost/program_options/variables_map.hpp>

namespace po = boost::program_options;

namespace marrowvale {

namespace {

// An unsigned option value that accepts decimal digits only. The stock
// conversion would wrap "-5" to 4294967291 instead of rejecting it.
struct UnsignedValue {
    unsigned value = 0;
};

// Found by argument-dependent lookup from the option library's parser.
void validate(boost::any& stored, const std::vector<std::string>& texts, UnsignedValue*, int) {
    po::validators::check_first_occurrence(stored);
    const std::string& text = po::validators::get_single_string(texts);
    if (text.empty() || text.size() > 10 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
        throw po::invalid_option_value(text);
    }
    const unsigned long long number = std::stoull(text);
    if (number > 0xFFFFFFFFULL) {
        throw po::invalid_option_value(text);
    }
    stored = UnsignedValue{static_cast<unsigned>(number)};
}

} // namespace

po::options_description MakeOptionsDescription() {
    po::options_description description("Allowed options");
    description.add_options()                                                         //
        ("help,h", "Display this help message")                                       //
        ("input_file,i", po::value<std::vector<std::string>>(), "Input Wave File")    //
        ("new_sampling_rate,s", po::value<UnsignedValue>(), "New Sampling Rate")      //
        ("new_bit_depth,b", po::value<UnsignedValue>(), "New Bit Depth")              //
        ("container_bits,c", po::value<UnsignedValue>(), "Container Bit Depth")       //
        ("dither_type,t", po::value<UnsignedValue>(), "Type of Dither")               //
        ("dither_bits,d", po::value<UnsignedValue>(), "Number of Dither Bits to Add") //
        ("noise_shaping,n", po::value<UnsignedValue>(), "Type of Noise Shaping")      //
        ("filter", po::value<UnsignedValue>(), "Resampling Filter")                   //
        ("output_folder,o", po::value<std::string>(), "Output Folder");
    return description;
}

boost::filesystem::path MakeNativePath(const std::string& text) {
    std::string generic = text;
    std::replace(generic.begin(), generic.end(), '\\', '/');
    return boost::filesystem::path(generic);
}

std::int32_t RangeTest(unsigned value, unsigned low, unsigned high) {
    return static_cast<std::int32_t>(value >= low && value <= high ? value : low);
}

std::int32_t ContainerWidth(unsigned bits) {
    if (bits > 32) {
        return 0;
    }
    return static_cast<std::int32_t>((bits + 7) / 8 * 8);
}

CommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
    const po::options_description description = MakeOptionsDescription();
    po::positional_options_description positional;
    positional.add("input_file", -1);

    // Named options are fixed by the first pass; the store step never
    // replaces a value from an earlier pass, so the second pass only adds
    // positional file names when -i was not given.
    po::variables_map options;
    po::store(po::command_line_parser(arguments).options(description).run(), options);
    po::notify(options);
    po::store(po::command_line_parser(arguments).options(description).positional(positional).run(),
              options);
    po::notify(options);

    CommandLine result;
    if (options.count("help") != 0) {
        result.action = CommandLineAction::Help;
        return result;
    }
    const bool has_rate = options.count("new_sampling_rate") != 0;
    const bool has_depth = options.count("new_bit_depth") != 0;
    if (options.count("input_file") == 0 || options.count("output_folder") == 0 ||
        !(has_rate || has_depth)) {
        result.action = CommandLineAction::NotEnoughArguments;
        return result;
    }
    result.action = CommandLineAction::Convert;

    for (const std::string& name : options["input_file"].as<std::vector<std::string>>()) {
        result.input_files.push_back(MakeNativePath(name));
    }
    ConversionSettings& settings = result.settings;
    settings.output_folder = MakeNativePath(options["output_folder"].as<std::string>());

    auto value_of = [&options](const char* name, unsigned low, unsigned high) {
        return options.count(name) != 0
                   ? RangeTest(options[name].as<UnsignedValue>().value, low, high)
                   : 0;
    };
    settings.new_sampling_rate = value_of("new_sampling_rate", 0, 768000);
    settings.new_bit_depth = value_of("new_bit_depth", 0, 32);
    if (options.count("container_bits") == 0) {
        settings.container_bits = ContainerWidth(static_cast<unsigned>(settings.new_bit_depth));
    } else if (settings.new_bit_depth == 0) {
        settings.container_bits = 0;
    } else {
        settings.container_bits =
            ContainerWidth(options["container_bits"].as<UnsignedValue>().value);
    }
    settings.dither_type = value_of("dither_type", 0, 2);
    settings.dither_bits = value_of("dither_bits", 0, 2);
    settings.noise_shaping = value_of("noise_shaping", 0, 3);
    settings.filter = value_of("filter", 0, 1);
    return result;
}

} // namespace marrowvale
