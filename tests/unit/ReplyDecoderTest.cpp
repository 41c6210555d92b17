#include "ReplyDecoder.h"
#include "ReplyFrame.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes frame(int type, const Bytes& data) { return BuildReplyFrame(type, data); }

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes nameTable(size_t size, std::initializer_list<std::pair<int, std::string>> entries,
                size_t width)
{
    Bytes table(size, 0);
    for (const auto& [entry, name] : entries)
        std::copy(name.begin(), name.end(), table.begin() + (entry - 1) * width);
    return table;
}

class ReplyDecoder : public ::testing::Test {
protected:
    std::string decode(const Bytes& chunk) { return DecodeChunk(status, chunk); }
    DeviceStatus status;
};

TEST_F(ReplyDecoder, allZeroStatusBlockReadsInputOneEverywhere)
{
    const std::string out = decode(frame(FrameStatus, Bytes(88, 0)));
    EXPECT_EQ(out.substr(0, out.find("\r\n") + 2),
              "VO:1IN:1;E:1M:0D:1;AI:1M:0;AO:1HDMI:0;AO:1iis:0;AO:1spdif:0;\r\n");
    EXPECT_NE(out.find("VO:8IN:1;E:8M:0D:1;AI:8M:0;AO:8HDMI:0;AO:8iis:0;AO:8spdif:0;\r\n\r\n"),
              std::string::npos);
    EXPECT_TRUE(status.hasStatusBlock());
    EXPECT_EQ(status.statusRefreshPending, 1);
}

TEST_F(ReplyDecoder, statusFieldsUseOnlyTheLowSixBits)
{
    Bytes block(88, 0);
    block[16] = 0x43;     // output 1 on input 4
    block[17] = 0x42;     // output 2 on input 3
    block[40 + 1] = 0x82; // input 2 audio A
    block[56 + 2] = 2;    // output 3 I2S on (value 2)
    block[72] = 1;        // input 1 EDID User
    block[80] = 2;        // source 3
    decode(frame(FrameStatus, block));
    EXPECT_EQ(status.videoInput(1), 4);
    EXPECT_EQ(status.videoInput(2), 3);
    EXPECT_EQ(status.audioInputMode(2), 2);
    EXPECT_EQ(status.audioOutputIis(3), 2);
    EXPECT_EQ(status.edidMode(1), 1);
    EXPECT_EQ(status.edidData(1), 2);
}

TEST_F(ReplyDecoder, shortStatusBlockReadsZerosBeyondItsEnd)
{
    Bytes block(20, 0);
    block[16] = 3;
    const std::string out = decode(frame(FrameStatus, block));
    EXPECT_EQ(status.videoInput(1), 4);
    EXPECT_EQ(status.edidData(4), 0);
    EXPECT_NE(out.find("VO:1IN:4;"), std::string::npos);
}

TEST_F(ReplyDecoder, networkBlockTextAndMacPadding)
{
    Bytes block(38, 0);
    block[0] = 1;
    const Bytes ip = {192, 168, 1, 10}, mask = {255, 255, 255, 0}, gw = {192, 168, 1, 1},
                dns = {8, 8, 4, 4}, mac = {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E};
    std::copy(ip.begin(), ip.end(), block.begin() + 1);
    std::copy(mask.begin(), mask.end(), block.begin() + 5);
    std::copy(gw.begin(), gw.end(), block.begin() + 9);
    std::copy(dns.begin(), dns.end(), block.begin() + 13);
    std::copy(mac.begin(), mac.end(), block.begin() + 17);
    const std::string name = "MATRIX-01";
    std::copy(name.begin(), name.end(), block.begin() + 23);

    EXPECT_EQ(decode(frame(FrameNetwork, block)),
              "ip=192.168.1.10\r\nmask=255.255.255.0\r\ngw=192.168.1.1\r\ndns=8.8.4.4\r\n"
              "dhcp=1\r\nnetbios=MATRIX-01\r\nmac=00:1a:2b:3c:4d:5e\r\n\r\n");
    EXPECT_EQ(status.networkRefreshPending, 1);
}

TEST_F(ReplyDecoder, netbiosNameFillingItsWidthStopsAtTheBlockLayout)
{
    Bytes block(23, 0);
    block = block + text("ABCDEFGHIJKLMNOPQRSTUV"); // 22 bytes, no zero
    decode(frame(FrameNetwork, block));
    EXPECT_EQ(status.netbiosName(), "ABCDEFGHIJKLMNOP");
}

TEST_F(ReplyDecoder, modelBlockTextsAreBoundedByTheirWidthAndTheBlock)
{
    Bytes block(16, 0);
    block = block + text("HDM-4X8-MATRIX-A") + text("V1.2.3") + Bytes{0}; // model fills 16 bytes
    EXPECT_EQ(decode(frame(FrameModel, block)),
              "Product Model:HDM-4X8-MATRIX-A\r\nRelease Version:V1.2.3;\r\n\r\n");
    EXPECT_EQ(status.modelRefreshPending, 1);
}

TEST_F(ReplyDecoder, portTablesClearWhileEdidTablesKeepTheirTail)
{
    decode(frame(FrameInputPortNames, nameTable(128, {{3, "Old3"}, {8, "Old8"}}, 16)));
    decode(frame(FrameEdidUserNames, nameTable(256, {{3, "OldUser3"}}, 32)));

    // Blocks of 20 bytes: 19 data bytes and the checksum.
    decode(frame(FrameInputPortNames, nameTable(19, {{1, "New1"}}, 16)));
    decode(frame(FrameEdidUserNames, nameTable(19, {{1, "NewUser1"}}, 32)));

    EXPECT_EQ(status.name(NameTable::InputPort, 1), "New1");
    EXPECT_EQ(status.name(NameTable::InputPort, 3), "");
    EXPECT_EQ(status.name(NameTable::InputPort, 8), "");
    EXPECT_EQ(status.name(NameTable::EdidUser, 1), "NewUser1");
    EXPECT_EQ(status.name(NameTable::EdidUser, 3), "OldUser3");
}

TEST_F(ReplyDecoder, unterminatedEntryIsShownWholeAndNeverRunsIntoTheNext)
{
    const std::string out =
        decode(frame(FrameSceneNames, nameTable(128, {{1, "ABCDEFGHIJKLMNOP"}, {2, "Next"}}, 16)));
    EXPECT_EQ(status.name(NameTable::Scene, 1), "ABCDEFGHIJKLMNOP");
    EXPECT_NE(out.find("grp1:ABCDEFGHIJKLMNOP;\r\ngrp2:Next;\r\n"), std::string::npos);
}

TEST_F(ReplyDecoder, oversizedTableCopiesAtMostTheTableSize)
{
    Bytes big(600, 'x');
    const std::string out = decode(frame(FrameHdbtOutputPortNames, big));
    EXPECT_EQ(status.name(NameTable::HdbtOutputPort, 8), std::string(16, 'x'));
    EXPECT_EQ(status.name(NameTable::HdmiOutputPort, 1), ""); // the next table is untouched
    EXPECT_NE(out.find("port_ohdbt8:xxxxxxxxxxxxxxxx;\r\n"), std::string::npos);
}

TEST_F(ReplyDecoder, eachTableTypeUsesItsLineFormat)
{
    const std::pair<int, const char*> formats[] = {
        {3, "ded1:N;"},        {4, "ued1:N;"},         {5, "ied1:N;"},
        {6, "oed_hdmi1:N;"},   {7, "oed_hdbt1:N;"},    {8, "port_i1:N;"},
        {9, "port_ohdmi1:N;"}, {10, "port_ohdbt1:N;"}, {11, "grp1:N;"},
    };
    for (const auto& [type, line] : formats)
        EXPECT_EQ(decode(frame(type, Bytes{'N', 0})).substr(0, std::string(line).size() + 2),
                  std::string(line) + "\r\n")
            << type;
}

// The answer to the request for everything, HDMI output names last, as the matrix sends it.
Bytes wholeStateChunk(int leaveOut)
{
    Bytes chunk;
    for (int type : {1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 13, 9}) {
        Bytes block = frame(type, Bytes(type == FrameStatus ? 88 : 128, 0));
        if (type == leaveOut)
            block.back() ^= 0xFF; // a damaged checksum: the frame is lost
        chunk = chunk + block;
    }
    return chunk;
}

TEST_F(ReplyDecoder, hdmiOutputNameTableCompletesTheAcquisition)
{
    decode(frame(FrameInputPortNames, Bytes(128, 0)));
    EXPECT_EQ(status.acquisitionState, AcquisitionPending);
    // Alone, with no other block or table before it.
    ResetDeviceStatus(status);
    decode(frame(FrameHdmiOutputPortNames, Bytes(128, 0)));
    EXPECT_EQ(status.acquisitionState, AcquisitionComplete);
    EXPECT_FALSE(HasWholeState(status));
    EXPECT_EQ(MissingStateParts(status).size(), 11u);
}

// The whole state, which tavloctl and the server wait for, has every block and table; a frame
// lost on the way leaves a hole that the HDMI output names do not hide.
TEST_F(ReplyDecoder, wholeStateNamesWhatIsMissing)
{
    decode(wholeStateChunk(0));
    EXPECT_EQ(status.acquisitionState, AcquisitionComplete);
    EXPECT_TRUE(HasWholeState(status));
    EXPECT_TRUE(MissingStateParts(status).empty());

    for (auto [lost, words] : {std::pair{1, "network settings"},
                               {2, "routing and audio/EDID status"},
                               {4, "user EDID names"},
                               {11, "scene names"},
                               {13, "model and firmware"}}) {
        ResetDeviceStatus(status);
        decode(wholeStateChunk(lost));
        EXPECT_EQ(status.acquisitionState, AcquisitionComplete) << lost;
        EXPECT_FALSE(HasWholeState(status)) << lost;
        EXPECT_EQ(MissingStateParts(status), std::vector<std::string>{words}) << lost;
    }
    // The repeated request fills the hole.
    decode(wholeStateChunk(0));
    EXPECT_TRUE(HasWholeState(status));
}

TEST_F(ReplyDecoder, twoFramesInOneChunkGiveTwoTexts)
{
    const Bytes chunk = frame(FrameInputPortNames, nameTable(128, {{1, "In1"}}, 16)) +
                        frame(FrameHdmiOutputPortNames, nameTable(128, {{1, "Out1"}}, 16));
    const std::string out = decode(chunk);
    const size_t first = out.find("port_i8:;\r\n\r\n");
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(out.find("port_ohdmi1:Out1;"), first + 13);
    EXPECT_EQ(out.substr(out.size() - 5), ";\r\n\r\n"); // each text ends with its own line break
}

TEST_F(ReplyDecoder, badChecksumYieldsEmptyLineAndChangesNothing)
{
    Bytes bad = frame(FrameStatus, Bytes(88, 1));
    bad.back() ^= 0xFF;
    EXPECT_EQ(decode(text("noise ") + bad + text(" more")), "\r\n");
    EXPECT_FALSE(status.hasStatusBlock());
    EXPECT_EQ(status.statusRefreshPending, 0);
}

TEST_F(ReplyDecoder, ignoredTypesYieldEmptyLines)
{
    EXPECT_EQ(decode(frame(12, Bytes(10, 0)) + frame(14, Bytes(10, 0)) + frame(99, Bytes(1, 0))),
              "\r\n\r\n\r\n");
}

TEST_F(ReplyDecoder, frameRunningPastTheChunkIsTreatedAsBad)
{
    Bytes cut = frame(FrameStatus, Bytes(88, 0));
    cut.resize(cut.size() - 1); // the checksum byte did not arrive
    EXPECT_EQ(decode(cut), "\r\n");
    EXPECT_FALSE(status.hasStatusBlock());

    Bytes header = text("master>>");
    header.push_back(2); // marker and type only
    EXPECT_EQ(decode(header), "\r\n");
}

TEST_F(ReplyDecoder, markerAtTheChunkStartIsFound)
{
    const Bytes chunk = frame(FrameSceneNames, nameTable(128, {{1, "S"}}, 16));
    ASSERT_EQ(chunk[6], '>');
    EXPECT_EQ(decode(chunk).substr(0, 9), "grp1:S;\r\n");
}

TEST_F(ReplyDecoder, scanAlsoLooksInsideDecodedFrames)
{
    // A name that itself holds a marker and a valid frame: both are found.
    const Bytes inner = frame(FrameSceneNames, nameTable(20, {{1, "Z"}}, 16));
    Bytes outerData(16, 0);
    outerData = outerData + inner;
    const std::string out = decode(frame(FrameEdidDefaultNames, outerData));
    EXPECT_NE(out.find("ded1:;"), std::string::npos);
    EXPECT_NE(out.find("grp1:Z;"), std::string::npos);
}

struct PlainCase {
    std::string chunk;
    std::string shown;
};

TEST_F(ReplyDecoder, plainTextChunks)
{
    const PlainCase cases[] = {
        {"OK", "OK\r\n"},
        {"", "\r\n"},
        {"a>>b", "a>>b\r\n"}, // short chunks are always plain text
        {"a\nb\nc\ntail", "a\r\nb\r\nc\r\n\r\n"},
        {"line\r\n", "line\r\r\n\r\n"},             // a CR before the LF is kept
        {std::string("ab\0cd\nef\n", 9), "ab\r\n"}, // read up to the first zero
        {"master>", "master>\r\n"},                 // a marker cut at the chunk's end is no frame
    };
    for (const auto& c : cases)
        EXPECT_EQ(decode(text(c.chunk)), c.shown) << c.chunk;
}

TEST(DeviceStatusLifecycle, resetAndCloseClearTheModelButDifferOnTheFlags)
{
    DeviceStatus status;
    DecodeChunk(status,
                frame(FrameStatus, Bytes(88, 0)) + frame(FrameHdmiOutputPortNames, Bytes{'A', 0}));
    status.acquisitionDone = 1;
    status.initialDataReceived = 1;

    ClearDeviceStatusOnClose(status);
    EXPECT_FALSE(status.hasStatusBlock());
    EXPECT_EQ(status.name(NameTable::HdmiOutputPort, 1), "");
    EXPECT_EQ(status.stopRequested, 1);
    EXPECT_EQ(status.acquisitionDone, 1);
    EXPECT_EQ(status.statusRefreshPending, 0);
    EXPECT_EQ(status.acquisitionState, AcquisitionPending);

    ResetDeviceStatus(status);
    EXPECT_EQ(status.stopRequested, 0);
    EXPECT_EQ(status.acquisitionDone, 0);
    EXPECT_EQ(status.initialDataReceived, 1);
}

TEST(DeviceStatusNames, setNameClearsTheEntryAndKeepsSixteenBytesWithoutTerminator)
{
    DeviceStatus status;
    status.setName(NameTable::HdbtOutputPort, 3, "A much longer name than fits");
    EXPECT_EQ(status.name(NameTable::HdbtOutputPort, 3), "A much longer na");
    status.setName(NameTable::HdbtOutputPort, 3, "Lobby");
    const auto entry = status.nameEntry(NameTable::HdbtOutputPort, 3);
    EXPECT_EQ(std::string(entry.begin(), entry.end()),
              std::string("Lobby") + std::string(11, '\0'));
    EXPECT_EQ(status.name(NameTable::HdbtOutputPort, 4), "");
    status.setName(NameTable::HdbtOutputPort, 9, "out of range"); // ignored
}

} // namespace

namespace {

struct CountCase {
    const char* what;
    Bytes chunk;
    FrameCounts expected;
};

Bytes corrupt(Bytes b)
{
    b.back() ^= 0xFF;
    return b;
}

Bytes cut(Bytes b)
{
    b.pop_back();
    return b;
}

} // namespace

TEST(CountValidFrames, countsOnlyWholeFramesWhoseChecksumHolds)
{
    const Bytes status = frame(FrameStatus, Bytes(88, 0));
    const std::vector<CountCase> cases = {
        {"two types among text",
         text("x") + status + text("\r\n") + frame(9, {1}) + status,
         {{FrameStatus, 2}, {9, 1}}},
        {"bad checksum", corrupt(frame(9, {1})), {}},
        {"checksum missing at the chunk's end", cut(frame(9, {1})), {}},
        {"marker without header", text("master>>\x01"), {}},
        {"a frame after a damaged one", corrupt(frame(9, {1})) + frame(9, {2}), {{9, 1}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CountValidFrames(c.chunk), c.expected) << c.what;
}

namespace {

struct CutCase {
    const char* what;
    Bytes chunk;
    bool endsInside;
};

Bytes firstBytes(const Bytes& b, size_t n) { return Bytes(b.begin(), b.begin() + n); }

} // namespace

TEST(EndsInsideFrame, holdsOutOnlyForAFrameStillArriving)
{
    const Bytes status = frame(FrameStatus, Bytes(88, 0));
    // Data that holds a marker declaring more bytes than the frame around it has.
    const Bytes decoy = frame(9, text("master>>") + Bytes{9, 0, 0x40, 0, 0});
    const std::vector<CutCase> cases = {
        {"nothing", {}, false},
        {"plain text", text("hello\r\n"), false},
        {"a whole frame", status, false},
        {"a whole frame with a bad checksum", corrupt(status), false},
        {"two frames with text around them", text("x") + status + text("ok") + status, false},
        {"a whole frame holding a longer decoy", decoy, false},
        {"cut in the data", firstBytes(status, 40), true},
        {"cut before the checksum", cut(status), true},
        {"cut in the header", firstBytes(status, 11), true},
        {"a bare marker", text("master>>"), true},
        {"cut in the marker", text("ok\r\nmast"), true},
        {"only the marker's first letter", status + text("m"), true},
        {"a second frame cut", status + firstBytes(status, 50), true},
        {"a frame cut short, then a whole one", firstBytes(status, 30) + status, false},
        {"a frame cut short, then one still arriving",
         firstBytes(status, 95) + firstBytes(status, 50), true},
        {"text that only looks like a marker's start", text("master"), true},
        {"the marker's first word in passing", text("master key\r\n"), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(EndsInsideFrame(c.chunk), c.endsInside) << c.what;
}
