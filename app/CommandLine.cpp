#include "app/CommandLine.hpp"

#include <algorithm>
#include <boost/format.hpp>
#include <boost/program_options/parsers.hpp>
#include <boost/program_options/positional_options.hpp>
#include <boost/program_options/value_semantic.hpp>
#include <boost/program_options/variables_map.hpp>
#include <fstream>
#include <istream>
#include <stdexcept>
#include <utility>

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

// More threads than this would only contend; the option says "cores".
constexpr unsigned max_jobs = 1024;

} // namespace

po::options_description MakeOptionsDescription() {
    po::options_description description("Allowed options");
    description.add_options()                                                         //
        ("help,h", "Display this help message")                                       //
        ("version", "Print the program's name and version")                           //
        ("input_file,i", po::value<std::vector<std::string>>(), "Input Wave File")    //
        ("new_sampling_rate,s", po::value<UnsignedValue>(), "New Sampling Rate")      //
        ("new_bit_depth,b", po::value<UnsignedValue>(), "New Bit Depth")              //
        ("container_bits,c", po::value<UnsignedValue>(), "Container Bit Depth")       //
        ("dither_type,t", po::value<UnsignedValue>(), "Type of Dither")               //
        ("dither_bits,d", po::value<UnsignedValue>(), "Number of Dither Bits to Add") //
        ("noise_shaping,n", po::value<UnsignedValue>(), "Type of Noise Shaping")      //
        ("output_folder,o", po::value<std::string>(), "Output Folder")                //
        ("float", "Write 32-bit float samples")                                       //
        ("filter", po::value<UnsignedValue>(), "Resampling Filter (0, 1: steep)")     //
        ("strip-metadata", "Write only the format and the samples")                   //
        ("jobs,j", po::value<UnsignedValue>(), "Threads in all (0: one per core)")    //
        ("quiet,q", "No banner, reports or progress bars")                            //
        ("files-from", po::value<std::string>(), "File of input names, one a line")   //
        ("shard", po::value<std::string>(), "K/N: only every Nth file, from the Kth") //
        ("input-root", po::value<std::string>()->value_name("DIR"),
         "Inputs keep their path below DIR")                          //
        ("skip-existing", "Keep outputs that exist (resume a batch)") //
        ("report", po::value<std::string>()->value_name("FILE"),
         "JSON Lines of every input to FILE (-: stdout)");
    return description;
}

Shard ParseShard(const std::string& text) {
    const std::size_t slash = text.find('/');
    const std::string index = text.substr(0, slash);
    const std::string count = slash == std::string::npos ? "" : text.substr(slash + 1);
    auto digits = [](const std::string& part) {
        return !part.empty() && part.size() <= 9 &&
               part.find_first_not_of("0123456789") == std::string::npos;
    };
    if (!digits(index) || !digits(count)) {
        throw po::invalid_option_value(text);
    }
    Shard shard{static_cast<unsigned>(std::stoul(index)), static_cast<unsigned>(std::stoul(count))};
    if (shard.count == 0 || shard.index >= shard.count) {
        throw po::invalid_option_value(text);
    }
    return shard;
}

std::vector<boost::filesystem::path> BatchInputs(const CommandLine& command_line,
                                                 std::istream& standard_input) {
    std::vector<boost::filesystem::path> files = command_line.input_files;
    if (!command_line.files_from.empty()) {
        std::ifstream list_file;
        std::istream* list = &standard_input;
        if (command_line.files_from != "-") {
            list_file.open(command_line.files_from);
            if (!list_file.is_open()) {
                throw std::runtime_error("cannot read the file list \"" + command_line.files_from +
                                         "\"");
            }
            list = &list_file;
        }
        std::string line;
        while (std::getline(*list, line)) {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            if (!line.empty()) {
                files.push_back(MakeNativePath(line));
            }
        }
        if (list->bad()) {
            throw std::runtime_error("reading the file list \"" + command_line.files_from +
                                     "\" failed");
        }
    }
    return files;
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
    if (options.count("version") != 0) {
        result.action = CommandLineAction::Version;
        return result;
    }
    const bool has_rate = options.count("new_sampling_rate") != 0;
    const bool has_depth = options.count("new_bit_depth") != 0;
    const bool to_float = options.count("float") != 0;
    result.quiet = options.count("quiet") != 0;
    const bool has_files = options.count("input_file") != 0 || options.count("files-from") != 0;
    if (!has_files || options.count("output_folder") == 0 || !(has_rate || has_depth || to_float)) {
        result.action = CommandLineAction::NotEnoughArguments;
        return result;
    }
    result.action = CommandLineAction::Convert;

    if (options.count("input_file") != 0) {
        for (const std::string& name : options["input_file"].as<std::vector<std::string>>()) {
            result.input_files.push_back(MakeNativePath(name));
        }
    }
    if (options.count("files-from") != 0) {
        result.files_from = options["files-from"].as<std::string>();
    }
    if (options.count("shard") != 0) {
        result.shard = ParseShard(options["shard"].as<std::string>());
    }
    if (options.count("input-root") != 0) {
        result.input_root = MakeNativePath(options["input-root"].as<std::string>());
    }
    result.skip_existing = options.count("skip-existing") != 0;
    if (options.count("report") != 0) {
        result.report = options["report"].as<std::string>();
    }
    ConversionSettings& settings = result.settings;
    settings.output_folder = MakeNativePath(options["output_folder"].as<std::string>());
    settings.strip_metadata = options.count("strip-metadata") != 0;

    // Out-of-range values are replaced by 0, which keeps the input's value or
    // switches the setting off; a line on standard error says so.
    auto value_of = [&](const char* name, const char* flag, unsigned low, unsigned high,
                        const char* outcome) {
        if (options.count(name) == 0) {
            return std::int32_t{0};
        }
        const unsigned value = options[name].as<UnsignedValue>().value;
        if (value > high) {
            result.warnings.push_back((boost::format("%s %u is out of range (%u to %u); %s") %
                                       flag % value % low % high % outcome)
                                          .str());
        }
        return RangeTest(value, 0, high);
    };
    settings.new_sampling_rate =
        value_of("new_sampling_rate", "-s", 1, 768000, "the input's rate is kept");
    settings.new_bit_depth = value_of("new_bit_depth", "-b", 1, 32, "the input's width is kept");
    if (options.count("container_bits") == 0) {
        settings.container_bits = ContainerWidth(static_cast<unsigned>(settings.new_bit_depth));
    } else if (settings.new_bit_depth == 0) {
        settings.container_bits = 0;
    } else {
        settings.container_bits = ContainerWidth(static_cast<unsigned>(
            value_of("container_bits", "-c", 8, 32, "the input's width is kept")));
    }
    settings.dither_type = value_of("dither_type", "-t", 0, 2, "no dither is added");
    settings.dither_bits = value_of("dither_bits", "-d", 0, 2, "0 is used");
    settings.noise_shaping = value_of("noise_shaping", "-n", 0, 3, "no noise shaping is done");
    settings.filter = value_of("filter", "--filter", 0, 1, "the designed filters are used");
    result.jobs =
        static_cast<unsigned>(value_of("jobs", "-j", 0, max_jobs, "one per core is used"));

    if (to_float) {
        // Float samples are written as they come from the resampler: nothing
        // is requantised.
        settings.float_output = true;
        std::string ignored;
        const std::pair<const char*, const char*> without_effect[] = {{"new_bit_depth", "-b"},
                                                                      {"container_bits", "-c"},
                                                                      {"dither_type", "-t"},
                                                                      {"dither_bits", "-d"},
                                                                      {"noise_shaping", "-n"}};
        for (const auto& [name, flag] : without_effect) {
            if (options.count(name) != 0) {
                ignored += std::string(ignored.empty() ? "" : ", ") + flag;
            }
        }
        if (!ignored.empty()) {
            result.warnings.push_back("--float writes 32-bit float samples; " + ignored +
                                      (ignored.find(',') == std::string::npos ? " has" : " have") +
                                      " no effect");
        }
        settings.new_bit_depth = 0;
        settings.container_bits = 0;
        settings.dither_type = 0;
        settings.dither_bits = 0;
        settings.noise_shaping = 0;
    }
    return result;
}

} // namespace marrowvale
