#include "app/Application.hpp"

#include "app/CommandLine.hpp"
#include "app/ConvertFile.hpp"

#include <boost/format.hpp>
#include <iostream>

namespace marrowvale {

int RunApplication(const std::vector<std::string>& arguments, std::ostream& out,
                   volatile std::sig_atomic_t& stop_flag) {
    out << "Marrowvale Command Line ver. 1.0\n" << std::endl;

    const CommandLine command_line = ParseCommandLine(arguments);
    switch (command_line.action) {
    case CommandLineAction::Help:
        out << MakeOptionsDescription() << "\n";
        return exit_success;
    case CommandLineAction::NotEnoughArguments:
        out << "Not enough arguments\n\n" << MakeOptionsDescription() << "\n";
        return exit_success;
    case CommandLineAction::Convert:
        break;
    }

    for (const std::string& warning : command_line.warnings) {
        out.flush();
        std::cerr << "marrowvale: " << warning << std::endl;
    }
    const auto& files = command_line.input_files;
    int status = exit_success;
    for (std::size_t i = 0; i < files.size(); ++i) {
        out << boost::format("\nConverting File %u of %d") % (i + 1) % files.size() << std::endl;
        const ConversionOutcome outcome = ConvertFile(command_line.settings, files[i], stop_flag);
        if (outcome == ConversionOutcome::Interrupted || stop_flag != 0) {
            return exit_interrupted;
        }
        if (outcome != ConversionOutcome::Converted) {
            status = exit_some_files_failed;
        }
    }
    return status;
}

} // namespace marrowvale
