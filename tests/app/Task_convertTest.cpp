#include "app/Task_convert.hpp"

#include "support/ScratchFolder.hpp"
#include "support/Signals.hpp"
#include "support/TaskProbes.hpp"
#include "task/TaskStatus.hpp"

#include <gtest/gtest.h>
#include <tuple>

using marrowvale::ConversionOutcome;
using marrowvale::ConversionSettings;
using marrowvale::Task_Convert;
using testsupport::RecordingProgress;

namespace {

std::string OutputFor(const std::string& folder, const std::string& input) {
    ConversionSettings settings;
    settings.output_folder = folder;
    Task_Convert task;
    task.Setup(settings, input);
    return task.OutputPath().generic_string();
}

} // namespace

TEST(Task_Convert, FlagsStartFalseAndAreIndependent) {
    Task_Convert task;
    EXPECT_FALSE(task.FirstFlag());
    EXPECT_FALSE(task.SecondFlag());
    EXPECT_TRUE(task.SetFirstFlag(true));
    EXPECT_TRUE(task.FirstFlag());
    EXPECT_FALSE(task.SecondFlag());
    EXPECT_FALSE(task.SetSecondFlag(false));
    EXPECT_EQ(task.Self(), &task);
}

TEST(Task_Convert, OutputPathRule) {
    EXPECT_EQ(OutputFor("D:/out", "C:/music/a.wav"), "D:/out/a.wav");
    EXPECT_EQ(OutputFor("conv", "C:/music/a.wav"), "C:/music/conv/a.wav");
    EXPECT_EQ(OutputFor("conv", "a.wav"), "conv/a.wav");
    EXPECT_EQ(OutputFor("/srv/out", "/home/me/take 1.wav"), "/srv/out/take 1.wav");
    EXPECT_EQ(OutputFor("//server/share", "x/b.wav"), "//server/share/b.wav");
    EXPECT_EQ(OutputFor("disk:", "x/b.wav"), "disk:/b.wav");
    EXPECT_EQ(OutputFor("../up", "x/y/b.WAV"), "x/y/../up/b.WAV");

    EXPECT_TRUE(marrowvale::IsAbsoluteFolder("/"));
    EXPECT_TRUE(marrowvale::IsAbsoluteFolder("C:"));
    EXPECT_TRUE(marrowvale::IsAbsoluteFolder("C:relative"));
    EXPECT_TRUE(marrowvale::IsAbsoluteFolder("disk:"));
    EXPECT_FALSE(marrowvale::IsAbsoluteFolder("ab:")); // three characters only
    EXPECT_FALSE(marrowvale::IsAbsoluteFolder("out"));
    EXPECT_FALSE(marrowvale::IsAbsoluteFolder(""));
}

TEST(Task_Convert, ProgressTotalIsTheExactOutputCount) {
    testsupport::ScratchFolder scratch;
    testsupport::WavLayout layout;
    testsupport::WriteFileBytes(
        scratch / "a.wav", testsupport::MakeWav(layout, testsupport::NoiseSamples(200000, 16, 1)));
    testsupport::WriteFileBytes(
        scratch / "b.wav", testsupport::MakeWav(layout, testsupport::NoiseSamples(2002, 16, 1)));
    for (const auto& [name, rate, frames] :
         {std::tuple<const char*, int, int>{"a.wav", 0, 100000}, {"b.wav", 48000, 1090}}) {
        ConversionSettings settings;
        settings.output_folder = scratch / "out";
        settings.new_sampling_rate = rate;
        Task_Convert task;
        task.Setup(settings, scratch / name);
        RecordingProgress progress;
        std::atomic<bool> stop{false};
        task::TaskStatus status(stop);
        task.Run(progress, status);
        EXPECT_EQ(task.Outcome(), ConversionOutcome::Converted) << task.FailureReason();
        EXPECT_EQ(progress.begins, 1);
        EXPECT_EQ(progress.total, 2 * frames) << name; // 1001 frames * 160 / 147 -> 1090
        EXPECT_EQ(progress.position, progress.total) << name;
    }
}

TEST(Task_Convert, StopRequestedBeforeRun) {
    testsupport::ScratchFolder scratch;
    testsupport::WavLayout layout;
    // 100000 frames need five rounds: the stop is seen after the first, long
    // before the end.
    testsupport::WriteFileBytes(
        scratch / "long.wav",
        testsupport::MakeWav(layout, testsupport::NoiseSamples(200000, 16, 2)));
    // A single short round finishes before the status is ever asked.
    testsupport::WriteFileBytes(
        scratch / "short.wav",
        testsupport::MakeWav(layout, testsupport::NoiseSamples(2000, 16, 2)));
    std::atomic<bool> stop{true};
    task::TaskStatus status(stop);
    ConversionSettings settings;
    settings.output_folder = scratch / "out";
    settings.new_bit_depth = 16;
    settings.container_bits = 16;

    Task_Convert interrupted;
    interrupted.Setup(settings, scratch / "long.wav");
    RecordingProgress progress;
    interrupted.Run(progress, status);
    EXPECT_EQ(interrupted.Outcome(), ConversionOutcome::Interrupted);
    EXPECT_EQ(progress.total, 200000);
    EXPECT_LT(progress.position, progress.total);
    EXPECT_EQ(scratch.List("out"), std::vector<std::string>{});

    Task_Convert finished;
    finished.Setup(settings, scratch / "short.wav");
    finished.Run(progress, status);
    EXPECT_EQ(finished.Outcome(), ConversionOutcome::Converted);
    EXPECT_EQ(scratch.List("out"), std::vector<std::string>{"short.wav"});
}
