// The batch's table of input -> output: where each input goes, which rows
// are repeats or lose their output to an earlier row, and the folder walk.

#include "app/BatchPlan.hpp"

#include "support/ScratchFolder.hpp"
#include "support/WaveBytes.hpp"

#include <boost/filesystem/operations.hpp>
#include <gtest/gtest.h>

namespace fs = boost::filesystem;
using marrowvale::BatchPlanSettings;
using marrowvale::RowVerdict;
using namespace testsupport;

namespace {

// "input > output X", paths below the scratch folder; X: C convert, K keep,
// R repeat, T output taken, O outside the root, I output replaces an input.
std::vector<std::string> Decide(const ScratchFolder& scratch, const std::vector<std::string>& names,
                                BatchPlanSettings settings) {
    std::vector<fs::path> inputs;
    for (const std::string& name : names) {
        inputs.push_back(scratch / name);
    }
    std::vector<std::string> rows;
    const std::string prefix = scratch.Path() + "/";
    for (const auto& row : marrowvale::PlanBatch(inputs, settings).rows) {
        const std::string output = row.output.generic_string();
        char mark = row.verdict == RowVerdict::Convert ? 'C' : 'K';
        for (const auto& [text, letter] : {std::pair{"same file", 'R'},
                                           {"is taken by", 'T'},
                                           {"input root", 'O'},
                                           {"would replace", 'I'}}) {
            mark = row.reason.find(text) != std::string::npos ? letter : mark;
        }
        rows.push_back(row.input.generic_string().substr(prefix.size()) + " > " +
                       (output.empty() ? "-" : output.substr(output.find(prefix) + prefix.size())) +
                       " " + mark);
    }
    return rows;
}

} // namespace

TEST(BatchPlan, OutputPathsRepeatsAndCollisions) {
    ScratchFolder scratch;
    for (const char* name : {"in/a/take.wav", "in/b/take.wav", "in/b/other.wav", "x.wav"}) {
        fs::create_directories(fs::path(scratch / name).parent_path());
        WriteFileBytes(scratch / name, TextBytes(name));
    }
    fs::create_hard_link(scratch / "in/a/take.wav", scratch / "in/b/hard.wav");
    fs::create_symlink("../a/take.wav", scratch / "in/b/soft.wav");
    fs::create_directories(scratch / "out/b");
    WriteFileBytes(scratch / "out/b/other.wav", TextBytes("done"));
    const std::string out = scratch / "out";

    struct Case {
        std::vector<std::string> inputs;
        std::string output_folder; // relative: below each input's folder or the walked one
        std::string root;
        bool skip_existing;
        std::vector<std::string> rows;
    };
    const Case cases[] = {
        // Same names from two folders: the first converts, the second is named.
        {{"in/a/take.wav", "in/b/take.wav"},
         out,
         "",
         false,
         {"in/a/take.wav > out/take.wav C", "in/b/take.wav > out/take.wav T"}},
        // One file by four names: "..", a hard link, a symbolic link.
        {{"in/a/take.wav", "in/b/../a/take.wav", "in/b/hard.wav", "in/b/soft.wav"},
         out,
         "",
         false,
         {"in/a/take.wav > out/take.wav C", "in/b/../a/take.wav > out/take.wav R",
          "in/b/hard.wav > out/hard.wav R", "in/b/soft.wav > out/soft.wav R"}},
        // Below a root, each keeps its folder; outside it, skipped.
        {{"in/a/take.wav", "in/b/take.wav", "x.wav", "in/a/../b/other.wav"},
         out,
         "in/./a/..",
         true,
         {"in/a/take.wav > out/a/take.wav C", "in/b/take.wav > out/b/take.wav C", "x.wav > - O",
          "in/a/../b/other.wav > out/b/other.wav K"}},
        // Relative output folders: below the input's folder, the walked folder or the root.
        {{"in/a/take.wav", "x.wav"},
         "conv",
         "",
         false,
         {"in/a/take.wav > in/a/conv/take.wav C", "x.wav > conv/x.wav C"}},
        {{"in"},
         "conv",
         "",
         false,
         {"in/a/take.wav > in/conv/a/take.wav C", "in/b/hard.wav > in/conv/b/hard.wav R",
          "in/b/other.wav > in/conv/b/other.wav C", "in/b/soft.wav > in/conv/b/soft.wav R",
          "in/b/take.wav > in/conv/b/take.wav C"}},
        {{"in/b/take.wav"}, "conv", "in", false, {"in/b/take.wav > in/conv/b/take.wav C"}},
        // An output onto another input of the batch; onto its own is the judgement's.
        {{"in/a/take.wav", "in/b/take.wav"},
         scratch / "in/b",
         "",
         false,
         {"in/a/take.wav > in/b/take.wav I", "in/b/take.wav > in/b/take.wav C"}},
    };
    for (const Case& c : cases) {
        BatchPlanSettings settings;
        settings.output_folder = c.output_folder;
        settings.input_root = c.root.empty() ? "" : scratch / c.root;
        settings.skip_existing = c.skip_existing;
        EXPECT_EQ(Decide(scratch, c.inputs, settings), c.rows) << c.inputs[0] << " " << c.root;
    }
}

TEST(BatchPlan, WalkIsSortedSkipsTheOutputFolderAndLinkedFolders) {
    ScratchFolder scratch;
    for (const char* name : {"w/a/1.wav", "w/B/2.WAV", "w/a/z/0.Wave", "w/c.bwf", "w/d.RF64",
                             "w/e.txt", "w/.c.bwf.0123abcd.part", "w/out/o.wav", "w/wav"}) {
        fs::create_directories(fs::path(scratch / name).parent_path());
        WriteFileBytes(scratch / name, TextBytes(name));
    }
    fs::create_directory_symlink("a", scratch / "w/link");
    fs::create_symlink("../c.bwf", scratch / "w/a/lnk.wav");
    std::vector<std::string> problems;
    std::vector<std::string> found;
    for (const fs::path& path :
         marrowvale::WalkFolder(scratch / "w", {scratch / "w/a/../out"}, problems)) {
        found.push_back(path.generic_string().substr(scratch.Path().size() + 1));
    }
    EXPECT_EQ(found, (std::vector<std::string>{"w/B/2.WAV", "w/a/1.wav", "w/a/lnk.wav",
                                               "w/a/z/0.Wave", "w/c.bwf", "w/d.RF64"}));
    EXPECT_TRUE(problems.empty());
}
