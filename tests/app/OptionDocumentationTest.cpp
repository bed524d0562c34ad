#include "support/RunProgram.hpp"
#include "support/ScratchFolder.hpp"

#include <boost/filesystem/operations.hpp>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <sstream>

namespace {

std::string SourceFile(const std::string& relative) {
    std::ostringstream text;
    text << std::ifstream(MARROWVALE_SOURCE_DIR "/" + relative).rdbuf();
    return text.str();
}

// `name` as a whole word: "-s" must not match inside "--shard" or "-sx".
// The manual page writes every hyphen as "\-".
bool HasWord(const std::string& text, const std::string& name, bool roff = false) {
    const std::string pattern = roff ? std::regex_replace(name, std::regex("-"), "\\\\-") : name;
    return std::regex_search(text, std::regex("(^|[^\\w-])" + pattern + "($|[^\\w\\\\-])"));
}

// The words bash offers for `words`, the last being completed, in version order.
std::string Completions(const std::string& folder, const std::string& words) {
    const std::string command = "cd '" + folder +
                                "' && bash -c 'source " MARROWVALE_SOURCE_DIR
                                "/scripts/completion/marrowvale.bash; COMP_WORDS=(" +
                                words +
                                "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _marrowvale; "
                                "printf \"%s\\n\" \"${COMPREPLY[@]}\" | sort -V | paste -sd \" \"'";
    std::string reply;
    FILE* pipe = popen(command.c_str(), "r");
    for (char buffer[256]; pipe != nullptr && std::fgets(buffer, sizeof buffer, pipe);) {
        reply += buffer;
    }
    return pipe != nullptr && pclose(pipe) == 0 ? reply : "(bash failed)";
}

} // namespace

TEST(OptionDocumentation, EveryOptionOfTheHelpIsInTheManualPageAndTheCompletion) {
    const auto help = testsupport::RunMarrowvale({"--help"});
    const std::string manual = SourceFile("docs/man/marrowvale.1");
    const std::string completion = SourceFile("scripts/completion/marrowvale.bash");
    // Listing lines read "  -h [ --help ]  ..." or "  --float  ...".
    const std::regex listed(R"(^\s+(?:-(\w) \[ )?--([\w-]+))");
    std::istringstream lines(help.out);
    int options = 0;
    for (std::string line; std::getline(lines, line);) {
        std::smatch match;
        if (std::regex_search(line, match, listed) && ++options) {
            EXPECT_TRUE(HasWord(manual, "--" + match[2].str(), true)) << match[2];
            EXPECT_TRUE(HasWord(completion, "--" + match[2].str())) << match[2];
            EXPECT_TRUE(!match[1].matched || (HasWord(manual, "-" + match[1].str(), true) &&
                                              HasWord(completion, "-" + match[1].str())))
                << match[1];
        }
    }
    EXPECT_GE(options, 16);
}

TEST(OptionDocumentation, CompletionOffersValuesFoldersAndFiles) {
    testsupport::ScratchFolder scratch;
    testsupport::WriteFileBytes(scratch / "take.wav", {});
    boost::filesystem::create_directory(scratch / "takes");
    const std::pair<const char*, const char*> cases[] = {
        {"marrowvale --filter = \"\"", "0 1"},
        {"marrowvale -s 48000 --skip", "--skip-existing"},
        {"marrowvale -o ta", "takes"},
        {"marrowvale --input-root ta", "takes"},
        {"marrowvale -o out ta", "take.wav takes"},
        {"marrowvale --report ta", "take.wav takes"},
    };
    for (const auto& [words, expected] : cases) {
        EXPECT_EQ(Completions(scratch.Path(), words), std::string(expected) + "\n") << words;
    }
}
