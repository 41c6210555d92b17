// Pieces of tavloctl that need no matrix: what watch says about a change, how wide text is on
// a terminal, and the stable names of serial adapters.
#include "DisplayWidth.h"
#include "StableNames.h"
#include "StateChanges.h"
#include "StateDocument.h"

#include "MatrixBlocks.h"
#include "ReplyDecoder.h"

#include <QJsonArray>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>

namespace {

QJsonObject documentOf(const MatrixState& state)
{
    DeviceStatus status;
    for (const auto& frame : FullStateFrames(state))
        DecodeChunk(status, frame);
    return StateDocument(status);
}

struct Change {
    const char* what;
    std::function<void(MatrixState&)> change;
    QStringList lines;
};

void PrintTo(const Change& c, std::ostream* out) { *out << c.what; }

class WatchLines : public ::testing::TestWithParam<Change> {};

TEST_P(WatchLines, sayEachChangeOnce)
{
    MatrixState state = DefaultMatrixState();
    const QJsonObject before = documentOf(state);
    GetParam().change(state);
    EXPECT_EQ(StateChangeLines(before, documentOf(state)), GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, WatchLines,
    ::testing::Values(Change{"nothing", [](MatrixState&) {}, {}},
                      Change{"a route",
                             [](MatrixState& s) {
                                 s.routing[1] = 3;
                                 s.nameAt(NameTable::InputPort, 3) = "Camera";
                             },
                             {"output 2 ← input 3 (Camera)",
                              "input 3 is named 'Camera' (was 'Input3')"}},
                      Change{"audio",
                             [](MatrixState& s) {
                                 s.audioInputMode[3] = 0;
                                 s.audioSpdif[0] = 0;
                             },
                             {"output 1 S/PDIF audio off", "input 4 audio off (was h)"}},
                      Change{"an EDID",
                             [](MatrixState& s) {
                                 s.edidMode[1] = 1;
                                 s.edidSource[1] = 3;
                                 s.updateInputEdidName(2);
                             },
                             {"input 2 EDID user 3 (User3), was default 8 (4K60 444 HDR)"}},
                      Change{"names",
                             [](MatrixState& s) {
                                 s.nameAt(NameTable::HdbtOutputPort, 2) = "Lobby";
                                 s.nameAt(NameTable::Scene, 8) = "Late show";
                             },
                             {"HDBT output 2 is named 'Lobby' (was 'HDBT2')",
                              "scene 8 is named 'Late show' (was 'Scene8')"}},
                      Change{"the network",
                             [](MatrixState& s) { s.network.dhcp = true; },
                             {"network dhcp on (was off)"}}));

TEST(WatchLines, theFirstStateIsItsRouting)
{
    EXPECT_EQ(InitialStateLines(documentOf(DefaultMatrixState())),
              (QStringList{"output 1 ← input 1 (Input1)", "output 2 ← input 2 (Input2)",
                           "output 3 ← input 3 (Input3)", "output 4 ← input 4 (Input4)"}));
}

TEST(DisplayWidth, countsTerminalColumns)
{
    EXPECT_EQ(DisplayWidth("Lobby"), 5);
    EXPECT_EQ(DisplayWidth(QString::fromUtf8("大厅")), 4);
    EXPECT_EQ(DisplayWidth(QString::fromUtf8("Ｈall")), 5);   // a full-width letter
    EXPECT_EQ(DisplayWidth(QString::fromUtf8("e\u0301")), 1); // a combining accent
    EXPECT_EQ(PadToWidth(QString::fromUtf8("大厅"), 6), QString::fromUtf8("大厅  "));
    EXPECT_EQ(PadToWidth("too long", 3), "too long");
}

TEST(StableNames, findTheLinkLeadingToTheDevice)
{
    QTemporaryDir dir;
    const std::filesystem::path root = dir.path().toStdString();
    std::filesystem::create_directory(root / "dev");
    std::filesystem::create_directory(root / "by-id");
    for (const char* device : {"ttyUSB0", "ttyUSB1"})
        std::ofstream(root / "dev" / device).put('x');
    std::filesystem::create_symlink("../dev/ttyUSB1", root / "by-id" / "usb-FTDI_X-if00-port0");
    const QString folder = QString::fromStdString((root / "by-id").string());
    const QString dev = QString::fromStdString((root / "dev").string());
    EXPECT_EQ(StableNameFor(dev + "/ttyUSB1", folder), folder + "/usb-FTDI_X-if00-port0");
    EXPECT_EQ(StableNameFor(dev + "/ttyUSB0", folder), QString());
    EXPECT_EQ(StableNameFor(dev + "/gone", folder), QString());
    EXPECT_EQ(StableNameFor(dev + "/ttyUSB1", folder + "/missing"), QString());
}

} // namespace
