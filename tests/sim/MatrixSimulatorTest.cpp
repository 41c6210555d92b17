// The simulator on its pseudo-terminal, driven from the client end as a serial port user would.
#include "MatrixSimulator.h"
#include "MatrixBlocks.h"
#include "ReplyDecoder.h"
#include "ReplyFrame.h"
#include "SlaveLine.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>
#include <thread>

namespace
{

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Types of the frames in the bytes, in order of their markers.
std::vector<int> frameTypes(const std::vector<uint8_t>& bytes)
{
    std::vector<int> types;
    const std::string text(bytes.begin(), bytes.end());
    for (size_t at = text.find(kFrameMarker); at != std::string::npos;
         at = text.find(kFrameMarker, at + 1)) {
        if (at + kFrameMarker.size() < text.size())
            types.push_back(static_cast<uint8_t>(text[at + kFrameMarker.size()]));
    }
    return types;
}

// A started simulator and a client on its line.
class SimulatorLine : public ::testing::Test
{
protected:
    void start(SimulatorOptions options = {})
    {
        sim = std::make_unique<MatrixSimulator>(std::move(options));
        std::string error;
        ASSERT_TRUE(sim->Start(&error)) << error;
        line = std::make_unique<SlaveLine>(sim->SlavePath());
        ASSERT_TRUE(line->isOpen());
    }

    // One command, then the pause every sender keeps before the next.
    std::vector<uint8_t> ask(const std::string& command, int quietMs = 150)
    {
        line->write(command);
        return line->readUntilQuiet(quietMs);
    }

    std::unique_ptr<MatrixSimulator> sim;
    std::unique_ptr<SlaveLine> line;
};

TEST_F(SimulatorLine, requestAllAnswersEveryBlockWithHdmiPortNamesLast)
{
    start();
    MatrixState state = DefaultMatrixState();
    state.routing = {4, 3, 2, 1};
    state.nameAt(NameTable::InputPort, 2) = "Blu-ray";
    state.network.ip = {10, 0, 0, 7};
    sim->SetState(state);

    const auto reply = ask("#upper:80/00");
    const auto types = frameTypes(reply);
    ASSERT_EQ(types.size(), 12u);
    EXPECT_EQ(types.back(), FrameHdmiOutputPortNames);
    std::vector<int> sorted = types;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 13}));

    // The panel's own decoder reads back exactly the state the simulator holds.
    DeviceStatus status;
    DecodeChunk(status, reply);
    EXPECT_EQ(status.acquisitionState.load(), AcquisitionComplete);
    EXPECT_EQ(status.videoInput(1), 4);
    EXPECT_EQ(status.videoInput(4), 1);
    EXPECT_EQ(status.name(NameTable::InputPort, 2), "Blu-ray");
    EXPECT_EQ(status.ipAddress(), (std::array<uint8_t, 4>{10, 0, 0, 7}));
    EXPECT_EQ(status.productModel(), state.productModel);
}

TEST_F(SimulatorLine, commandsSentWithoutPauseArriveAsOneRefusedCommand)
{
    start();
    line->write("#video_d out1 matrix=3#video_d out2 matrix=4");
    EXPECT_TRUE(line->readUntilQuiet(200).empty()) << "a refused command has no reply";
    ASSERT_TRUE(sim->WaitForCommands(1, 1000));
    const auto log = sim->CommandLog();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].outcome, CommandOutcome::Refused);
    EXPECT_EQ(log[0].bytes, "#video_d out1 matrix=3#video_d out2 matrix=4");
    EXPECT_EQ(sim->State().routing, DefaultMatrixState().routing);
}

TEST_F(SimulatorLine, pausedCommandsAreLoggedApartWithTheirGaps)
{
    start();
    const auto before = Clock::now();
    line->write("#video_d out1 matrix=3");
    std::this_thread::sleep_for(120ms);
    line->write("#video_d out2 matrix=4");
    ASSERT_TRUE(sim->WaitForCommands(2, 2000));
    const auto log = sim->CommandLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].bytes, "#video_d out1 matrix=3");
    EXPECT_EQ(log[1].bytes, "#video_d out2 matrix=4");
    EXPECT_LT(log[0].gapMs, 0) << "the first command has no gap before it";
    EXPECT_GE(log[1].gapMs, 100.0);
    EXPECT_GE(log[1].atMs - log[0].atMs, 100.0);
    EXPECT_GE(log[0].firstByte, before);
    EXPECT_EQ(sim->State().routing, (MatrixState::Routing{3, 4, 3, 4}));
}

TEST_F(SimulatorLine, commandHeldUpLongerThanTheGapIsCutInTwo)
{
    SimulatorOptions options;
    options.idleGapMs = 30;
    start(options);
    line->write("#video_d out1 ");
    std::this_thread::sleep_for(80ms);
    line->write("matrix=3");
    ASSERT_TRUE(sim->WaitForCommands(2, 2000));
    const auto log = sim->CommandLog();
    EXPECT_EQ(log[0].outcome, CommandOutcome::Refused);
    EXPECT_EQ(log[1].outcome, CommandOutcome::Refused);
    EXPECT_EQ(sim->State().routing, DefaultMatrixState().routing);
}

// Threads of this process that run at a real-time priority.
int realTimeThreads()
{
    int count = 0;
    DIR* tasks = ::opendir("/proc/self/task");
    while (const dirent* task = tasks ? ::readdir(tasks) : nullptr) {
        const int tid = std::atoi(task->d_name);
        count += tid > 0 && ::sched_getscheduler(tid) == SCHED_FIFO;
    }
    if (tasks)
        ::closedir(tasks);
    return count;
}

bool realTimeAllowed()
{
    bool allowed = false;
    std::thread probe([&] {
        sched_param param{};
        param.sched_priority = sched_get_priority_min(SCHED_FIFO);
        allowed = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
    });
    probe.join();
    return allowed;
}

// On a loaded machine a reader at normal priority waits its turn for longer than a client's
// pause and reads two paced commands as one (bench/route-wait-stress shows it); the reader
// runs at real-time priority wherever the system allows it.
TEST_F(SimulatorLine, readsTheLineAtRealTimePriorityWhereAllowed)
{
    if (!realTimeAllowed())
        GTEST_SKIP() << "this process may not use real-time priorities";
    ASSERT_EQ(realTimeThreads(), 0);
    start();
    EXPECT_FALSE(ask("#video_d out1 matrix=3").empty()) << "it answers";
    EXPECT_EQ(realTimeThreads(), 1) << "the line's reader, and nothing else";
}

TEST_F(SimulatorLine, droppedReplyLeavesTheLineSilentOnce)
{
    start();
    sim->DropReplies(1);
    EXPECT_TRUE(ask("#upper:20/0F").empty());
    EXPECT_EQ(frameTypes(ask("#upper:20/0F")), (std::vector<int>{FrameStatus}));
    ASSERT_TRUE(sim->WaitForCommands(2, 1000));
    EXPECT_NE(sim->CommandLog()[0].note.find("dropped"), std::string::npos);
}

TEST_F(SimulatorLine, corruptChecksumIsIgnoredByTheDecoder)
{
    start();
    sim->CorruptChecksums(1);
    DeviceStatus status;
    DecodeChunk(status, ask("#upper:20/0F"));
    EXPECT_FALSE(status.hasStatusBlock());
    DecodeChunk(status, ask("#upper:20/0F"));
    EXPECT_TRUE(status.hasStatusBlock());
}

TEST_F(SimulatorLine, splitReplyArrivesInTwoPartsWithThePauseBetween)
{
    start();
    sim->SplitReplies(1, 300);
    line->write("#upper:20/0F");
    const auto first = line->readUntilQuiet(150);
    const auto second = line->readUntilQuiet(500);
    const auto whole = StatusFrame(sim->State());
    ASSERT_FALSE(first.empty());
    ASSERT_FALSE(second.empty());
    std::vector<uint8_t> joined = first;
    joined.insert(joined.end(), second.begin(), second.end());
    EXPECT_EQ(joined, whole);
}

TEST_F(SimulatorLine, garbageGoesOutBeforeTheNextReplyOnly)
{
    start();
    sim->InsertGarbage({'x', 0x00, 0xFF});
    auto reply = ask("#upper:20/0F");
    ASSERT_GE(reply.size(), 3u);
    EXPECT_EQ(std::vector<uint8_t>(reply.begin(), reply.begin() + 3),
              (std::vector<uint8_t>{'x', 0x00, 0xFF}));
    EXPECT_EQ(ask("#upper:20/0F"), StatusFrame(sim->State()));
}

TEST_F(SimulatorLine, closedLineHangsUpTheClient)
{
    start();
    sim->CloseLine();
    EXPECT_FALSE(sim->IsRunning());
    EXPECT_TRUE(line->waitForHangup(1000));
}

TEST_F(SimulatorLine, lostDeviceComesBackOnAFreshLineWithItsState)
{
    start();
    ask("#video_d out1 matrix=4");
    sim->CloseLine();
    std::string error;
    ASSERT_TRUE(sim->Start(&error)) << error;
    line = std::make_unique<SlaveLine>(sim->SlavePath());
    DeviceStatus status;
    DecodeChunk(status, ask("#upper:20/0F"));
    EXPECT_EQ(status.videoInput(1), 4);
}

TEST_F(SimulatorLine, lineClosesAfterTheCountedCommand)
{
    start();
    sim->CloseLineAfter(2);
    EXPECT_FALSE(ask("#upper:20/0F").empty());
    line->write("#upper:20/0F");
    EXPECT_TRUE(line->waitForHangup(1000));
    EXPECT_FALSE(sim->IsRunning());
}

TEST_F(SimulatorLine, restartSilencesTheMatrixThenItAnswersAgain)
{
    SimulatorOptions options;
    options.restartSilenceMs = 600;
    start(options);
    const auto restartAt = Clock::now();
    EXPECT_TRUE(ask("#power start=1").empty());
    EXPECT_TRUE(sim->IsRestarting());
    EXPECT_TRUE(ask("#upper:20/0F").empty());
    std::this_thread::sleep_until(restartAt + 700ms);
    EXPECT_EQ(frameTypes(ask("#upper:20/0F")), (std::vector<int>{FrameStatus}));
    const auto log = sim->CommandLog();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[1].outcome, CommandOutcome::IgnoredRestarting);
    EXPECT_EQ(log[2].outcome, CommandOutcome::Accepted);
}

TEST_F(SimulatorLine, emulatedLineRateTakesAsLongAsTheBytesNeed)
{
    SimulatorOptions options;
    options.lineRateBaud = 115200;
    start(options);
    const size_t expected = [] {
        size_t total = 0;
        for (const auto& frame : FullStateFrames(DefaultMatrixState()))
            total += frame.size();
        return total;
    }();
    const auto sent = Clock::now();
    line->write("#upper:80/00");
    const auto reply = line->readAtLeast(expected, 5000);
    const auto took = std::chrono::duration<double, std::milli>(Clock::now() - sent).count();
    ASSERT_EQ(reply.size(), expected);
    // Ten bits a byte at 115200 baud, after the command's idle gap.
    const double lineMs = static_cast<double>(expected) * 10.0 * 1000.0 / 115200.0;
    EXPECT_GE(took, lineMs);
    EXPECT_LT(took, lineMs + 2000.0);
}

TEST_F(SimulatorLine, startsAgainOnAFreshLineAfterStop)
{
    start();
    std::string error;
    EXPECT_FALSE(sim->Start(&error));
    EXPECT_FALSE(error.empty());
    sim->Stop();
    line.reset();
    ASSERT_TRUE(sim->Start(&error)) << error;
    line = std::make_unique<SlaveLine>(sim->SlavePath());
    EXPECT_EQ(frameTypes(ask("#upper:20/0F")), (std::vector<int>{FrameStatus}));
}

} // namespace
