#include "support/RunProgram.hpp"
#include "support/ScratchFolder.hpp"

#include <algorithm>
#include <boost/filesystem/operations.hpp>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <regex>
#include <sstream>

namespace {

std::string SourceFile(const std::string& relative) {
    std::ifstream file(std::string(MARROWVALE_SOURCE_DIR) + "/" + relative);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// `name` as a whole word: "-s" must not match inside "--shard" or "-sx".
bool HasWord(const std::string& text, const std::string& name) {
    std::string escaped;
    for (char c : name) {
        escaped += (c == '\\' ? "\\\\" : std::string(1, c));
    }
    return std::regex_search(text, std::regex("(^|[^\\w-])" + escaped + "($|[^\\w\\\\-])"));
}

// The words of `text`, sorted: the shell lists files in the folder's order.
std::vector<std::string> SortedWords(const std::string& text) {
    std::istringstream words(text);
    std::vector<std::string> sorted{std::istream_iterator<std::string>(words), {}};
    std::sort(sorted.begin(), sorted.end());
    return sorted;
}

std::vector<std::string> Completions(const std::string& folder, const std::string& words) {
    const std::string command = "cd '" + folder +
                                "' && bash -c 'source " MARROWVALE_SOURCE_DIR
                                "/scripts/completion/marrowvale.bash; COMP_WORDS=(" +
                                words + "); COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _marrowvale; " +
                                "echo ${COMPREPLY[*]}'";
    std::string reply;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        for (int c; (c = std::fgetc(pipe)) != EOF;) {
            reply += static_cast<char>(c);
        }
        pclose(pipe);
    }
    return SortedWords(reply);
}

} // namespace

TEST(OptionDocumentation, EveryOptionOfTheHelpIsInTheManualPageAndTheCompletion) {
    const auto help = testsupport::RunMarrowvale({"--help"});
    ASSERT_EQ(help.exit_status, 0);
    const std::string manual = SourceFile("docs/man/marrowvale.1");
    const std::string completion = SourceFile("scripts/completion/marrowvale.bash");
    // Listing lines read "  -h [ --help ]  ..." or "  --float  ...".
    const std::regex listed(R"(^\s+(?:-(\w) \[ )?--([\w-]+))");
    std::istringstream lines(help.out);
    int options = 0;
    for (std::string line; std::getline(lines, line);) {
        std::smatch match;
        if (!std::regex_search(line, match, listed)) {
            continue;
        }
        ++options;
        std::vector<std::string> names{"--" + match[2].str()};
        if (match[1].matched) {
            names.push_back("-" + match[1].str());
        }
        for (const std::string& name : names) {
            // The manual page writes every hyphen as "\-".
            EXPECT_TRUE(HasWord(manual, std::regex_replace(name, std::regex("-"), "\\-"))) << name;
            EXPECT_TRUE(HasWord(completion, name)) << name;
        }
    }
    EXPECT_GE(options, 16);
}

TEST(OptionDocumentation, CompletionOffersValuesFoldersAndFiles) {
    testsupport::ScratchFolder scratch;
    testsupport::WriteFileBytes(scratch / "take.wav", {});
    boost::filesystem::create_directory(scratch / "takes");
    const struct {
        const char* words;
        const char* expected;
    } cases[] = {
        {"marrowvale -t \"\"", "0 1 2"},
        {"marrowvale --noise_shaping \"\"", "0 1 2 3"},
        {"marrowvale -c \"\"", "8 16 24 32"},
        {"marrowvale --filter = \"\"", "0 1"},
        {"marrowvale -s 48000 --skip", "--skip-existing"},
        {"marrowvale -o ta", "takes"},
        {"marrowvale --input-root ta", "takes"},
        {"marrowvale -o out ta", "take.wav takes"},
        {"marrowvale --report ta", "take.wav takes"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Completions(scratch.Path(), c.words), SortedWords(c.expected)) << c.words;
    }
}
