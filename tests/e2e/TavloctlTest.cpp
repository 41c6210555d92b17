// tavloctl run as a real process against a simulated matrix on a pseudo-terminal.
#include "Emulation.h"
#include "MatrixBlocks.h"
#include "MatrixSimulator.h"
#include "TavloVersion.h"
#include "ToolProcess.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

const std::string kTool = TAVLOCTL_PATH;
// The simulator stamps a command when its thread reads it, which on a loaded machine can be a
// few milliseconds after the bytes arrived; a stamp late on the earlier command shortens the
// gap it logs for the next. Writes measured at the tool are >= 100 ms apart; a missing pause
// shows as a gap near 0 ms.
constexpr double kPauseMs = 100.0;
constexpr double kStampSlackMs = 5.0;

const std::string kGbkHall = "\xB4\xF3\xCC\xFC"; // "大厅" in code page 936

using Args = std::vector<std::string>;

// Short waits: the defaults (30 s, 3.6 s, 5 s) are the panel's and would make slow tests.
const Args kQuick = {"--timeout", "3", "--repeat", "0.7"};

Args operator+(Args a, const Args& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// One field of every entry of a list in the state document.
std::vector<QJsonValue> field(const QJsonObject& document, const char* list, const char* key)
{
    std::vector<QJsonValue> values;
    for (const QJsonValue& entry : document[list].toArray())
        values.push_back(entry.toObject()[key]);
    return values;
}

class Tavloctl : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(sim.Start(&error)) << error;
    }

    ToolResult tool(const Args& args, const Args& waits = kQuick)
    {
        return ToolProcess::run(kTool, Args{"--port", sim.SlavePath()} + waits + args);
    }

    std::vector<std::string> commandsReceived()
    {
        std::vector<std::string> lines;
        for (const auto& record : sim.CommandLog())
            lines.push_back(record.bytes);
        return lines;
    }

    MatrixSimulator sim;
};

TEST_F(Tavloctl, statusJsonReportsTheSimulatorsState)
{
    MatrixState state = DefaultMatrixState();
    state.routing = {2, 4, 1, 3};
    state.audioInputMode = {0, 2, 1, 0};
    state.nameAt(NameTable::InputPort, 1) = kGbkHall;
    state.nameAt(NameTable::Scene, 8) = "Late show";
    state.network.ip = {172, 16, 0, 9};
    state.network.dhcp = true;
    state.productModel = "MODEL-X";
    sim.SetState(state);

    const ToolResult result = tool({"status", "--json"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const QJsonObject json =
        QJsonDocument::fromJson(QByteArray::fromStdString(result.out)).object();
    EXPECT_EQ(json["api"], 1);
    EXPECT_EQ(field(json, "outputs", "input"), (std::vector<QJsonValue>{2, 4, 1, 3}));
    EXPECT_EQ(field(json, "outputs", "number"), (std::vector<QJsonValue>{1, 2, 3, 4}));
    EXPECT_EQ(field(json, "inputs", "audio"), (std::vector<QJsonValue>{"off", "a", "h", "off"}));
    EXPECT_EQ(field(json, "inputs", "name")[0], QString::fromUtf8("大厅"));
    EXPECT_EQ(field(json, "scenes", "name")[7], "Late show");
    EXPECT_EQ(json["network"]["ip"], "172.16.0.9");
    EXPECT_EQ(json["network"]["dhcp"], true);
    EXPECT_EQ(json["device"]["model"], "MODEL-X");
    EXPECT_EQ(commandsReceived(), std::vector<std::string>{"#upper:80/00"});
}

TEST_F(Tavloctl, statusTextShowsEverySection)
{
    const ToolResult result = tool({"status"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    for (const char* part :
         {"Routing", "Audio inputs", "Audio outputs", "EDID of the inputs", "EDID names", "Scenes",
          "Network", "192.168.1.100", "HDMI3", "4K60 444 HDR", "Scene8", "TVM-0408-H20"})
        EXPECT_NE(result.out.find(part), std::string::npos) << part << "\n" << result.out;
}

struct Change {
    std::vector<std::string> args;
    std::function<void(const MatrixState&)> expectState;
    std::string expectOut;
};

void PrintTo(const Change& change, std::ostream* out)
{
    for (const auto& arg : change.args)
        *out << arg << ' ';
}

class TavloctlChange : public Tavloctl, public ::testing::WithParamInterface<Change> {};

TEST_P(TavloctlChange, changesTheMatrixAndPrintsTheConfirmedState)
{
    const Change& change = GetParam();
    std::vector<std::string> args = change.args;
    args.push_back("--wait");
    const ToolResult result = tool(args);
    ASSERT_EQ(result.exitCode, 0) << result.err;
    change.expectState(sim.State());
    EXPECT_NE(result.out.find(change.expectOut), std::string::npos) << result.out;
}

using S = const MatrixState&;

INSTANTIATE_TEST_SUITE_P(
    Commands, TavloctlChange,
    ::testing::Values(
        Change{{"route", "3", "2"},
               [](S s) {
                   EXPECT_EQ(s.routing, (MatrixState::Routing{1, 3, 3, 4}));
               },
               "  2      3\n"},
        Change{{"route", "2", "all"},
               [](S s) {
                   EXPECT_EQ(s.routing, (MatrixState::Routing{2, 2, 2, 2}));
               },
               "  4      2\n"},
        Change{{"scene-name", "4", "Lecture"},
               [](S s) { EXPECT_EQ(s.nameAt(NameTable::Scene, 4), "Lecture"); },
               "4   Lecture"},
        Change{{"name", "input", "1", "大厅"},
               [](S s) { EXPECT_EQ(s.nameAt(NameTable::InputPort, 1), kGbkHall); },
               "大厅"},
        Change{{"name", "hdbt", "2", "Projector"},
               [](S s) { EXPECT_EQ(s.nameAt(NameTable::HdbtOutputPort, 2), "Projector"); },
               "2   Projector"},
        Change{{"audio", "input", "all", "a"},
               [](S s) {
                   EXPECT_EQ(s.audioInputMode, (MatrixState::PerPort{2, 2, 2, 2}));
               },
               "  4     A\n"},
        Change{{"audio", "output", "2", "spdif", "off"},
               [](S s) {
                   EXPECT_EQ(s.audioSpdif, (MatrixState::PerPort{1, 0, 1, 1}));
               },
               "  2      1    on   off\n"},
        Change{{"edid", "input", "3", "user", "8"},
               [](S s) {
                   EXPECT_EQ(s.edidMode[2], 1);
                   EXPECT_EQ(s.edidSource[2], 8);
               },
               "  3     user    8"},
        Change{{"edid", "store-user", "1", "2", "hdbt", "1"},
               [](S s) {
                   EXPECT_EQ(s.nameAt(NameTable::EdidUser, 1), "1080P 2CH");
                   EXPECT_EQ(s.nameAt(NameTable::EdidUser, 2), "1080P 2CH");
               },
               "2   1080P 2CH"},
        Change{{"ip", "static", "10.0.0.5", "255.0.0.0", "10.0.0.1"},
               [](S s) {
                   EXPECT_EQ(s.network.ip, (std::array<uint8_t, 4>{10, 0, 0, 5}));
                   EXPECT_EQ(s.network.gateway, (std::array<uint8_t, 4>{10, 0, 0, 1}));
                   EXPECT_FALSE(s.network.dhcp);
               },
               "10.0.0.5"},
        Change{{"dhcp", "on"}, [](S s) { EXPECT_TRUE(s.network.dhcp); }, "DHCP     on"}));

TEST_F(Tavloctl, scenesSaveAndRecallTheRouting)
{
    ASSERT_EQ(tool({"route", "4", "all"}).exitCode, 0);
    ASSERT_EQ(tool({"scene", "save", "2", "--wait"}).exitCode, 0);
    ASSERT_EQ(tool({"route", "1", "all"}).exitCode, 0);
    const ToolResult recall = tool({"scene", "recall", "2", "--wait"});
    ASSERT_EQ(recall.exitCode, 0) << recall.err;
    EXPECT_EQ(sim.State().routing, (MatrixState::Routing{4, 4, 4, 4}));
}

TEST_F(Tavloctl, everyCommandArrivesAloneAfterItsPause)
{
    const ToolResult result = tool({"route", "4", "1", "2", "3"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    ASSERT_TRUE(sim.WaitForCommands(3, 2000));
    const auto log = sim.CommandLog();
    ASSERT_EQ(log.size(), 3u);
    const char* expected[] = {"#video_d out1 matrix=4", "#video_d out2 matrix=4",
                              "#video_d out3 matrix=4"};
    for (size_t i = 0; i < log.size(); ++i) {
        EXPECT_EQ(log[i].bytes, expected[i]);
        EXPECT_EQ(log[i].outcome, CommandOutcome::Accepted) << log[i].note;
        if (i > 0) {
            EXPECT_GE(log[i].gapMs, kPauseMs - kStampSlackMs) << "command " << i;
        }
    }
}

TEST_F(Tavloctl, lastCommandIsOnTheWireBeforeTheToolEnds)
{
    sim.SetState([] {
        MatrixState s = DefaultMatrixState();
        s.routing = {3, 3, 3, 3};
        return s;
    }());
    const ToolResult factory = tool({"factory", "--yes"});
    ASSERT_EQ(factory.exitCode, 0) << factory.err;
    const ToolResult reboot = tool({"reboot", "--yes"});
    ASSERT_EQ(reboot.exitCode, 0) << reboot.err;
    ASSERT_TRUE(sim.WaitForCommands(2, 2000));
    EXPECT_EQ(commandsReceived(), (std::vector<std::string>{"#factory", "#power start=1"}));
    EXPECT_EQ(sim.State(), DefaultMatrixState());
    EXPECT_TRUE(sim.IsRestarting());
}

TEST_F(Tavloctl, noAnswerGivesExitFourAfterRepeatedRequests)
{
    sim.DropReplies(-1);
    const ToolResult result = tool({"status"}, {"--timeout", "1.6", "--repeat", "0.5"});
    EXPECT_EQ(result.exitCode, 4) << result.err;
    EXPECT_NE(result.err.find("no answer"), std::string::npos) << result.err;
    EXPECT_GE(result.elapsedMs, 1600.0);
    const auto log = sim.CommandLog();
    ASSERT_GE(log.size(), 3u);
    for (size_t i = 1; i < log.size(); ++i) {
        EXPECT_EQ(log[i].bytes, "#upper:80/00");
        EXPECT_GE(log[i].gapMs, kPauseMs - kStampSlackMs);
    }
}

TEST_F(Tavloctl, statusRepeatsItsRequestUntilEveryPartHasArrived)
{
    sim.CorruptChecksums(2); // the network and status blocks of the first answer
    const ToolResult result = tool({"status", "--json"}, {"--timeout", "5", "--repeat", "0.7"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(commandsReceived(), (std::vector<std::string>{"#upper:80/00", "#upper:80/00"}));
    const QJsonObject json =
        QJsonDocument::fromJson(QByteArray::fromStdString(result.out)).object();
    EXPECT_EQ(json["network"]["ip"], "192.168.1.100");
    EXPECT_EQ(json["outputs"][3]["input"], 4);
}

TEST_F(Tavloctl, statusThatNeverGetsTheWholeStateNamesWhatIsMissing)
{
    for (const Args& status : {Args{"status", "--json"}, Args{"status"}}) {
        sim.CorruptChecksums(2); // the network and status blocks; one request only
        const ToolResult result = tool(status, {"--timeout", "1.5", "--repeat", "60"});
        EXPECT_EQ(result.exitCode, 4) << status.size();
        EXPECT_NE(result.err.find("never arrived whole: network settings, routing and audio/EDID "
                                  "status\n"),
                  std::string::npos)
            << result.err;
        EXPECT_EQ(result.out, "") << "nothing of a partial state is printed";
    }
}

TEST_F(Tavloctl, droppedConfirmationGivesExitFour)
{
    sim.DropReplies(1);
    const ToolResult result = tool({"route", "2", "1", "--wait"});
    EXPECT_EQ(result.exitCode, 4);
    EXPECT_NE(result.err.find("no confirmation"), std::string::npos) << result.err;
    EXPECT_EQ(sim.State().routing[0], 2) << "the matrix took the command; only the reply was lost";
}

TEST_F(Tavloctl, corruptFramesAreIgnored)
{
    // The whole first answer is corrupt: only the repeated request completes the status.
    const size_t frames = FullStateFrames(DefaultMatrixState()).size();
    sim.CorruptChecksums(static_cast<int>(frames));
    const ToolResult status = tool({"status", "--json"});
    ASSERT_EQ(status.exitCode, 0) << status.err;
    EXPECT_EQ(commandsReceived(), (std::vector<std::string>{"#upper:80/00", "#upper:80/00"}));

    sim.CorruptChecksums(1);
    const ToolResult route = tool({"route", "3", "1", "--wait"});
    EXPECT_EQ(route.exitCode, 4) << "a corrupt status block confirms nothing";
    sim.CorruptChecksums(1);
    const ToolResult save = tool({"scene", "save", "1", "--wait"});
    EXPECT_EQ(save.exitCode, 4) << "not even where any status block would do";
}

TEST_F(Tavloctl, splitOrNoisyRepliesStillRead)
{
    sim.SplitReplies(1, 150);
    EXPECT_EQ(tool({"status"}).exitCode, 0);
    sim.InsertGarbage({'O', 'K', '\r', '\n', 0x00, 0xFF, '>', '>'});
    EXPECT_EQ(tool({"route", "4", "4", "--wait"}).exitCode, 0);
}

TEST_F(Tavloctl, lostLineGivesExitThreeWithAClearMessage)
{
    sim.CloseLineAfter(1);
    const ToolResult result = tool({"status"});
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_NE(result.err.find("lost the line"), std::string::npos) << result.err;
}

TEST_F(Tavloctl, unopenablePortGivesExitThree)
{
    const ToolResult result =
        ToolProcess::run(kTool, Args{"--port", "/dev/no-such-matrix", "status"} + kQuick);
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_NE(result.err.find("cannot open /dev/no-such-matrix"), std::string::npos) << result.err;
}

struct Refusal {
    std::vector<std::string> args;
    std::string message;
};

void PrintTo(const Refusal& refusal, std::ostream* out)
{
    for (const auto& arg : refusal.args)
        *out << arg << ' ';
}

class TavloctlRefusal : public Tavloctl, public ::testing::WithParamInterface<Refusal> {};

TEST_P(TavloctlRefusal, refusesBeforeSendingAnything)
{
    const ToolResult result = tool(GetParam().args);
    EXPECT_EQ(result.exitCode, 2) << result.out;
    EXPECT_NE(result.err.find(GetParam().message), std::string::npos) << result.err;
    std::this_thread::sleep_for(100ms); // longer than the simulator's idle gap
    EXPECT_TRUE(sim.CommandLog().empty());
}

INSTANTIATE_TEST_SUITE_P(
    BadInput, TavloctlRefusal,
    ::testing::Values(
        Refusal{{"name", "input", "1", "ABCDEFGHIJKLMNOPQ"}, "16"},
        Refusal{{"name", "input", "1", "大大大大大大大大大"}, "16"},
        Refusal{{"name", "input", "1", "会议室会议室会议室大"},
                "is 20 of 16 bytes; Chinese characters take 2 bytes each"},
        Refusal{{"name", "hdmi", "1", "😀"}, ""},
        Refusal{{"name", "hdbt", "1", "a#b"}, "tavloctl: Name must not contain #"},
        Refusal{{"scene-name", "1", "a\tb"}, ""}, Refusal{{"scene-name", "1", ""}, "empty"},
        Refusal{{"name", "output", "1", "x"}, "port kind"},
        Refusal{{"route", "5", "1"}, "input must be"},
        Refusal{{"route", "1", "0"}, "output must be"},
        Refusal{{"route", "1", "all", "2"}, "'all' stands alone"},
        Refusal{{"scene", "keep", "1"}, "unknown command 'scene keep'; choose one of save, recall"},
        Refusal{{"scene", "save", "9"}, "scene must be"},
        Refusal{{"audio", "input", "1", "x"}, "off, h, a"},
        Refusal{{"audio", "output", "5", "iis", "on"}, "output must be"},
        Refusal{{"edid", "input", "1", "hdmi", "5"}, "from 1 to 4"},
        Refusal{{"edid", "input", "1", "default", "9"}, "from 1 to 8"},
        Refusal{{"edid", "store-user", "all", "hdmi", "1"}, "name the user slots"},
        Refusal{{"ip", "static", "192.168.1.255", "255.255.255.0", "192.168.1.1"},
                "Please check IP & MASK & GW"},
        Refusal{{"ip", "static", "1.2.3.", "255.0.0.0", "1.1.1.1"}, "Please check"},
        Refusal{{"ip", "static", "127.0.0.5", "255.0.0.0", "127.0.0.1"}, "starting with 127"},
        Refusal{{"ip", "static", "230.1.1.1", "255.0.0.0", "230.0.0.1"}, "between 1 and 223"},
        Refusal{{"ip", "static", "192.168.1.10", "255.255.255.0", "192.168.2.1"},
                "same network segment"},
        Refusal{{"ip", "static", "010.1.1.1", "255.0.0.0", "10.0.0.1"},
                "'010.1.1.1': part 1 has a leading zero"},
        Refusal{{"ip", "static", "10.1.1.1", "255.0.255.0", "10.0.0.1"},
                "'255.0.255.0' is not a subnet mask"},
        Refusal{{"ip", "static", "10.1.1.1", "0.0.0.0", "10.0.0.1", "--yes"},
                "'0.0.0.0' is not a subnet mask"},
        Refusal{{"ip", "static", " 1.2.3.4", "255.0.0.0", "1.0.0.1"},
                "' 1.2.3.4' contains a blank"},
        Refusal{{"ip", "static", "+1.2.3.4", "255.0.0.0", "1.0.0.1"}, "'+1.2.3.4' contains a sign"},
        Refusal{{"dhcp", "maybe"}, "off, on"}, Refusal{{"reboot"}, "--yes"},
        Refusal{{"factory"}, "--yes"}, Refusal{{"send", "😀"}, "code page 936"}));

TEST_F(Tavloctl, missingPortIsAUsageError)
{
    const ToolResult result = ToolProcess::run(kTool, Args{"route", "1", "1"} + kQuick);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("--port"), std::string::npos) << result.err;
}

TEST_F(Tavloctl, gatewayElsewhereIsSentWhenConfirmed)
{
    const ToolResult result =
        tool({"ip", "static", "192.168.1.10", "255.255.255.0", "192.168.2.1", "--yes", "--dhcp"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    ASSERT_TRUE(sim.WaitForCommands(1, 2000));
    EXPECT_EQ(
        commandsReceived(),
        std::vector<std::string>{"#ip ip=192.168.1.10 mask=255.255.255.0 gw=192.168.2.1 dhcp=1"});
}

TEST_F(Tavloctl, sendPassesRawTextAndShowsTheAnswer)
{
    const ToolResult result = tool({"send", "#upper:20/0F", "--wait"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("VO:1IN:1;E:1M:0D:8;AI:1M:1;"), std::string::npos) << result.out;
    EXPECT_EQ(commandsReceived(), std::vector<std::string>{"#upper:20/0F"});
}

TEST_F(Tavloctl, monitorPrintsEachChunkDecodedWithItsDateAndTime)
{
    // An emulated tool takes longer to open the port; its run and the bound grow by as much.
    const auto opening = AllowForEmulation(600ms);
    const auto later = std::chrono::duration_cast<std::chrono::seconds>(opening - 600ms);
    ToolProcess monitor(kTool, {"--port", sim.SlavePath(), "monitor", "--hex", "--for",
                                std::to_string(4 + later.count())});
    std::this_thread::sleep_for(opening); // the tool opens the port
    sim.WriteRaw({'o', 'n', 'e', '\r', '\n', 't', 'w', 'o', '\r', '\r', '\n'});
    std::this_thread::sleep_for(900ms); // past the port's receive delay: a chunk of its own
    sim.WriteRaw(StatusFrame(DefaultMatrixState()));
    std::this_thread::sleep_for(900ms);
    monitor.interrupt();
    const ToolResult result = monitor.wait(5000);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_LT(result.elapsedMs, 3900.0 + 1000.0 * later.count()) << "the interrupt ends it";

    const size_t frameSize = StatusFrame(DefaultMatrixState()).size();
    const std::regex stamp(R"(\[\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}\.\d{3}[+-]\d{2}:\d{2}\] )");
    std::smatch heading;
    ASSERT_TRUE(std::regex_search(result.out, heading, std::regex(R"((\[[^\]]*\] )11 bytes\n)")))
        << result.out;
    EXPECT_TRUE(std::regex_match(heading[1].str(), stamp)) << heading[1];
    EXPECT_NE(result.out.find("] " + std::to_string(frameSize) + " bytes\n"), std::string::npos);
    EXPECT_NE(result.out.find("  6f 6e 65 0d 0a 74 77 6f 0d 0d 0a\none\ntwo\n"), std::string::npos)
        << "every byte in hexadecimal, the text with LF line ends\n"
        << result.out;
    EXPECT_NE(result.out.find("6d 61 73 74 65 72 3e 3e 02"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("VO:4IN:4;"), std::string::npos) << result.out;
    EXPECT_EQ(result.out.find('\r'), std::string::npos) << "no carriage return anywhere";
}

// The next line of output that holds the text, within the time; empty when none came.
std::string lineHolding(ToolProcess& tool, const std::string& text, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        const std::string line = tool.readLine(static_cast<int>(left.count()) + 1);
        if (line.find(text) != std::string::npos)
            return line;
    }
    return {};
}

// The line goes away and comes back on another pseudo-terminal behind the same link, as an
// adapter does behind its /dev/serial/by-id name.
TEST_F(Tavloctl, monitorFollowKeepsGoingAcrossALoss)
{
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("tavlo-follow-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::filesystem::path link = dir / "ttyMATRIX";
    std::filesystem::create_symlink(sim.SlavePath(), link);
    ToolProcess monitor(kTool, {"--port", link.string(), "monitor", "--follow"});
    std::this_thread::sleep_for(AllowForEmulation(600ms)); // the tool opens the port

    sim.CloseLine();
    std::filesystem::remove(link);
    const std::regex stamp(R"(^\[\d{4}-\d{2}-\d{2}T\d{2}:\d{2}:\d{2}\.\d{3}[+-]\d{2}:\d{2}\] )");
    const std::string lost = lineHolding(monitor, " lost ", 3000);
    EXPECT_TRUE(std::regex_search(lost, stamp)) << lost;
    EXPECT_NE(lost.find("] connection to " + link.string() + " lost ("), std::string::npos) << lost;
    EXPECT_NE(lost.find("); waiting for it to return"), std::string::npos) << lost;
    std::string error;
    ASSERT_TRUE(sim.Start(&error)) << error;
    std::filesystem::create_symlink(sim.SlavePath(), link);
    const std::string back = lineHolding(monitor, " back", 4000);
    ASSERT_FALSE(back.empty()) << "no line for the return";
    EXPECT_EQ(back.substr(back.find("] ") + 2), "connection to " + link.string() + " back");
    EXPECT_TRUE(std::regex_search(back, stamp)) << back;

    sim.WriteRaw(StatusFrame(DefaultMatrixState()));
    EXPECT_NE(lineHolding(monitor, "VO:4IN:4;", 3000), "") << "chunks are printed again";
    monitor.interrupt();
    const ToolResult result = monitor.wait(5000);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    std::filesystem::remove_all(dir);
}

TEST(TavloctlHelp, versionExitCodesAndWaitsAreShown)
{
    const ToolResult version = ToolProcess::run(kTool, {"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, std::string("tavloctl ") + TAVLO_VERSION + "\n");
    const ToolResult help = ToolProcess::run(kTool, {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* part : {"Exit codes: 0 ok, 2 usage or refused input, 3 port error",
                             "4 no reply in time", "--timeout SECONDS", "--repeat SECONDS"})
        EXPECT_NE(help.out.find(part), std::string::npos) << part << "\n" << help.out;
}

struct Mistyped {
    Args args;
    std::string message;
};

void PrintTo(const Mistyped& mistyped, std::ostream* out)
{
    for (const auto& arg : mistyped.args)
        *out << arg << ' ';
}

class TavloctlMistyped : public ::testing::TestWithParam<Mistyped> {};

TEST_P(TavloctlMistyped, namesTheWordAndTheClosestCommand)
{
    const ToolResult result = ToolProcess::run(kTool, GetParam().args);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_EQ(result.err, "tavloctl: " + GetParam().message + "\n");
    EXPECT_EQ(result.out, "");
}

INSTANTIATE_TEST_SUITE_P(
    Words, TavloctlMistyped,
    ::testing::Values(Mistyped{{"stauts"}, "unknown command 'stauts'; did you mean 'status'?"},
                      Mistyped{{"--port", "/dev/null", "--timeout", "3", "rout", "1", "2"},
                               "unknown command 'rout'; did you mean 'route'?"},
                      Mistyped{{"audio", "inptu", "1", "h"},
                               "unknown command 'audio inptu'; did you mean 'audio input'?"},
                      Mistyped{{"edid", "store-usr", "1", "hdmi", "1"},
                               "unknown command 'edid store-usr'; did you mean 'edid store-user'?"},
                      Mistyped{{"ip", "statc", "1.2.3.4"},
                               "unknown command 'ip statc'; did you mean 'ip static'?"},
                      Mistyped{{"scene", "recal", "1"},
                               "unknown command 'scene recal'; did you mean 'scene recall'?"},
                      Mistyped{{"frobnicate"},
                               "unknown command 'frobnicate'; see 'tavloctl --help'"}));

TEST(TavloctlSim, servesAMatrixOnALinkUntilInterrupted)
{
    const std::string dir = ::testing::TempDir();
    const std::string link = dir + "/ttyMATRIX-" + std::to_string(::getpid());
    const std::string log = link + ".log";
    ToolProcess sim(kTool, {"sim", "--link", link, "--log", log});
    const std::string path = sim.readLine(5000);
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), path);

    const ToolResult status =
        ToolProcess::run(kTool, Args{"--port", link, "status", "--json"} + kQuick);
    EXPECT_EQ(status.exitCode, 0) << status.err;
    EXPECT_NE(status.out.find("\"model\": \"TVM-0408-H20\""), std::string::npos);

    sim.interrupt();
    EXPECT_EQ(sim.wait(5000).exitCode, 0);
    EXPECT_FALSE(std::filesystem::is_symlink(link));
    std::ifstream logFile(log);
    const std::string logged((std::istreambuf_iterator<char>(logFile)), {});
    EXPECT_NE(logged.find("accepted  #upper:80/00"), std::string::npos) << logged;
    std::filesystem::remove(log);
}

// Command lines the parser refuses, in the tool's words rather than the parser's.
struct Usage {
    Args args;
    std::string message; // a part of the one line on standard error
};

void PrintTo(const Usage& usage, std::ostream* out)
{
    for (const auto& arg : usage.args)
        *out << arg << ' ';
}

class TavloctlUsage : public ::testing::TestWithParam<Usage> {};

TEST_P(TavloctlUsage, isExitTwoInWordsAUserKnows)
{
    const ToolResult result = ToolProcess::run(kTool, GetParam().args);
    EXPECT_EQ(result.exitCode, 2) << result.err;
    EXPECT_NE(result.err.find(GetParam().message), std::string::npos) << result.err;
    for (const char* leftover : {"ARGS", "REQUIRED", "TEXT ...", "1.79769e+308"})
        EXPECT_EQ(result.err.find(leftover), std::string::npos) << result.err;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, TavloctlUsage,
    ::testing::Values(
        Usage{{"route"}, "'tavloctl route' needs INPUT OUTPUT...|all; see 'tavloctl route --help'"},
        Usage{{"send"}, "'tavloctl send' needs TEXT"},
        Usage{{"audio"}, "'tavloctl audio' needs one of input, output"},
        Usage{{"--port", "/dev/null", "route", "1", "2", "--wiat"},
              "unknown option '--wiat'; did you mean '--wait'?"},
        Usage{{"--prot", "/dev/null", "status"}, "unknown option '--prot'; did you mean '--port'?"},
        Usage{{"--port", "/dev/null", "monitor", "--for", "-1"},
              "must be seconds from 0 to 31536000, not '-1'"},
        Usage{{"--port", "/dev/null", "--timeout", "0", "status"},
              "must be seconds from 0.1 to 86400, not '0'"},
        Usage{{"--port", "socket://127.0.0.1", "status"},
              "is not an address of the form socket://HOST:PORT"},
        Usage{{"--port", "socket://127.0.0.1:", "status"}, "socket://HOST:PORT"},
        Usage{{"decode", "/nonexistent/chunk.bin"}, "there is no such file"},
        Usage{{"decode", "/tmp"}, "it is a directory, not a file"}));

TEST(TavloctlHelp, positionalsShowTheirWords)
{
    const ToolResult help = ToolProcess::run(kTool, {"route", "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("route [OPTIONS] INPUT OUTPUT...|all"), std::string::npos) << help.out;
    for (const char* leftover : {"ARGS", "REQUIRED", "TEXT"})
        EXPECT_EQ(help.out.find(leftover), std::string::npos) << leftover << "\n" << help.out;
}

TEST_F(Tavloctl, routeTakesAnInputByItsName)
{
    MatrixState state = DefaultMatrixState();
    state.nameAt(NameTable::InputPort, 3) = "Camera";
    sim.SetState(state);
    const ToolResult result = tool({"route", "camera", "2", "4", "--wait"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(sim.State().routing, (MatrixState::Routing{1, 3, 3, 3}));
    const std::vector<std::string> sent = commandsReceived();
    ASSERT_GE(sent.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(sent.end() - 2, sent.end()),
              (std::vector<std::string>{"#video_d out2 matrix=3", "#video_d out4 matrix=3"}));

    const ToolResult unknown = tool({"route", "Lobby", "1"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_NE(unknown.err.find("not 'Lobby'; the inputs are 1 'Input1', 2 'Input2', 3 'Camera'"),
              std::string::npos)
        << unknown.err;
}

TEST_F(Tavloctl, edidWaitShowsTheEdidTheInputNowPresents)
{
    const ToolResult result = tool({"edid", "input", "2", "user", "3", "--wait"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.out.find("  2     user    3      User3"), std::string::npos) << result.out;
}

// The columns of a table, counted in the columns a terminal gives each character.
size_t displayColumn(const std::string& line, size_t byteOffset)
{
    size_t columns = 0;
    for (size_t i = 0; i < byteOffset;) {
        const auto lead = static_cast<unsigned char>(line[i]);
        const size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        columns += length == 3 ? 2 : 1; // the names here are ASCII and CJK
        i += length;
    }
    return columns;
}

TEST_F(Tavloctl, statusTablesLineUpChineseNames)
{
    MatrixState state = DefaultMatrixState();
    state.nameAt(NameTable::HdmiOutputPort, 1) = kGbkHall;
    sim.SetState(state);
    const ToolResult result = tool({"status"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const std::regex hall("\n(  1 +大厅 +)HDBT1");
    const std::regex plain("\n(  2 +HDMI2 +)HDBT2");
    std::smatch first;
    std::smatch second;
    ASSERT_TRUE(std::regex_search(result.out, first, hall)) << result.out;
    ASSERT_TRUE(std::regex_search(result.out, second, plain)) << result.out;
    EXPECT_EQ(displayColumn(first[1].str(), first[1].length()),
              displayColumn(second[1].str(), second[1].length()))
        << first[1] << "|\n"
        << second[1] << "|";
}

TEST_F(Tavloctl, watchPrintsEachChangeOnItsOwnLine)
{
    ToolProcess watch(kTool, {"--port", sim.SlavePath(), "--repeat", "0.5", "watch", "--every",
                              "0.3", "--for", "8"});
    const std::regex stamp(R"(^\d{2}:\d{2}:\d{2}\.\d{3} )");
    const std::string up = lineHolding(watch, " link up", 3000);
    EXPECT_TRUE(std::regex_search(up, stamp)) << up;
    EXPECT_NE(lineHolding(watch, "output 4 ← input 4 (Input4)", 4000), "") << "the first state";

    // Made at the matrix itself: the status asked for every --every seconds shows it.
    MatrixState state = sim.State();
    state.routing[1] = 3;
    state.audioInputMode[0] = AudioA;
    sim.SetState(state);
    const std::string routed = lineHolding(watch, "output 2 ← input 3 (Input3)", 3000);
    EXPECT_TRUE(std::regex_search(routed, stamp)) << routed;
    EXPECT_NE(lineHolding(watch, "input 1 audio a (was h)", 2000), "");

    sim.CloseLine();
    const std::string down = lineHolding(watch, " link down (", 3000);
    EXPECT_NE(down.find("waiting for it to return"), std::string::npos) << down;
    watch.interrupt();
    const ToolResult result = watch.wait(5000);
    EXPECT_EQ(result.exitCode, 0) << result.err;
}

TEST_F(Tavloctl, watchJsonPrintsTheServersEvents)
{
    ToolProcess watch(kTool, {"--port", sim.SlavePath(), "--repeat", "0.5", "watch", "--json",
                              "--every", "0.3", "--for", "8"});
    const std::string link = lineHolding(watch, "\"event\":\"link\"", 3000);
    EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(link)).object()["state"], "up");
    const auto whole = [&](const std::string& line) {
        const QJsonObject state =
            QJsonDocument::fromJson(QByteArray::fromStdString(line)).object()["state"].toObject();
        return state["stale"] == false && state["device"].toObject()["model"].isString();
    };
    std::string line;
    for (int i = 0; i < 20 && !whole(line); ++i)
        line = lineHolding(watch, "\"event\":\"state\"", 3000);
    ASSERT_TRUE(whole(line)) << line;

    MatrixState state = sim.State();
    state.routing[3] = 1;
    sim.SetState(state);
    const std::string changed = lineHolding(watch, "\"event\":\"state\"", 3000);
    const QJsonObject document =
        QJsonDocument::fromJson(QByteArray::fromStdString(changed)).object()["state"].toObject();
    EXPECT_EQ(document["outputs"].toArray().at(3).toObject()["input"], 1) << changed;
    watch.interrupt();
    EXPECT_EQ(watch.wait(5000).exitCode, 0);
}

} // namespace
