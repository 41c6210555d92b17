// The device model: what each command does to the state and which frames come back, read
// through the panel's own decoders so that layout and meaning are checked together.
#include "MatrixDevice.h"
#include "MatrixBlocks.h"
#include "ReplyDecoder.h"
#include "ReplyFrame.h"

#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>

namespace
{

std::vector<int> typesOf(const DeviceResponse& response)
{
    std::vector<int> types;
    for (const auto& frame : response.frames)
        types.push_back(frame.at(kFrameMarker.size()));
    return types;
}

// Decodes every frame of the response into a fresh model, as the panel would.
std::unique_ptr<DeviceStatus> decoded(const DeviceResponse& response)
{
    auto status = std::make_unique<DeviceStatus>();
    for (const auto& frame : response.frames)
        DecodeChunk(*status, frame);
    return status;
}

int lengthField(const std::vector<uint8_t>& frame)
{
    const size_t at = kFrameMarker.size();
    return frame.at(at + 2) * 256 + frame.at(at + 3);
}

struct Change {
    std::string line;
    std::vector<int> frameTypes;
    std::function<void(const MatrixState&)> expectState;
    std::function<void(const DeviceStatus&)> expectDecoded;
};

void PrintTo(const Change& change, std::ostream* out)
{
    *out << change.line;
}

class StateChange : public ::testing::TestWithParam<Change>
{
};

TEST_P(StateChange, changesTheStateAndSendsTheBlockItChanged)
{
    const Change& change = GetParam();
    MatrixDevice device;
    const DeviceResponse response = device.Handle(change.line);
    ASSERT_TRUE(response.accepted) << response.note;
    EXPECT_EQ(typesOf(response), change.frameTypes);
    change.expectState(device.State());
    change.expectDecoded(*decoded(response));
}

using S = const MatrixState&;
using D = const DeviceStatus&;

INSTANTIATE_TEST_SUITE_P(
    Commands, StateChange,
    ::testing::Values(
        Change{"#video_d out2 matrix=3", {FrameStatus},
               [](S s) {
                   EXPECT_EQ(s.routing, (MatrixState::Routing{1, 3, 3, 4}));
               },
               [](D d) { EXPECT_EQ(d.videoInput(2), 3); }},
        Change{"#video_d out0 matrix=4", {FrameStatus},
               [](S s) {
                   EXPECT_EQ(s.routing, (MatrixState::Routing{4, 4, 4, 4}));
               },
               [](D d) {
                   for (int o = 1; o <= 4; ++o)
                       EXPECT_EQ(d.videoInput(o), 4);
               }},
        Change{"#audio_d in0 enc=2", {FrameStatus},
               [](S s) {
                   EXPECT_EQ(s.audioInputMode, (MatrixState::PerPort{2, 2, 2, 2}));
               },
               [](D d) { EXPECT_EQ(d.audioInputMode(4), AudioA); }},
        Change{"#audio_d in3 enc=0", {FrameStatus},
               [](S s) {
                   EXPECT_EQ(s.audioInputMode, (MatrixState::PerPort{1, 1, 0, 1}));
               },
               [](D d) { EXPECT_EQ(d.audioInputMode(3), AudioOff); }},
        Change{"#audio_d out2 iis=0", {FrameStatus},
               [](S s) {
                   EXPECT_EQ(s.audioIis, (MatrixState::PerPort{1, 0, 1, 1}));
               },
               [](D d) { EXPECT_EQ(d.audioOutputIis(2), 0); }},
        Change{"#audio_d out0 spdif=0", {FrameStatus},
               [](S s) {
                   EXPECT_EQ(s.audioSpdif, (MatrixState::PerPort{0, 0, 0, 0}));
               },
               [](D d) { EXPECT_EQ(d.audioOutputSpdif(4), 0); }},
        Change{"#edid_d in2 mode=1 data=8", {FrameStatus, FrameEdidInputNames},
               [](S s) {
                   EXPECT_EQ(s.edidMode[1], EdidUser);
                   EXPECT_EQ(s.edidSource[1], 8);
                   EXPECT_EQ(s.nameAt(NameTable::EdidInput, 2), "Unplug");
               },
               [](D d) {
                   EXPECT_EQ(d.edidMode(2), EdidUser);
                   EXPECT_EQ(d.edidData(2), 7) << "sources are counted from 0 in the block";
                   EXPECT_EQ(d.name(NameTable::EdidInput, 2), "Unplug") << "kept current";
               }},
        Change{"#edid_d in0 mode=3 data=1", {FrameStatus, FrameEdidInputNames},
               [](S s) {
                   EXPECT_EQ(s.edidMode, (MatrixState::PerPort{3, 3, 3, 3}));
               },
               [](D d) { EXPECT_EQ(d.edidMode(4), EdidHdbt); }},
        Change{"#edid_d user3 mode=2 data=1", {FrameEdidUserNames, FrameEdidInputNames},
               [](S s) { EXPECT_EQ(s.nameAt(NameTable::EdidUser, 3), "4K60 444 HDR"); },
               [](D d) { EXPECT_EQ(d.name(NameTable::EdidUser, 3), "4K60 444 HDR"); }},
        Change{"#port in2 name=Blu ray", {FrameInputPortNames},
               [](S s) { EXPECT_EQ(s.nameAt(NameTable::InputPort, 2), "Blu ray"); },
               [](D d) { EXPECT_EQ(d.name(NameTable::InputPort, 2), "Blu ray"); }},
        Change{"#port hdmi4 name=Projector", {FrameHdmiOutputPortNames},
               [](S s) { EXPECT_EQ(s.nameAt(NameTable::HdmiOutputPort, 4), "Projector"); },
               [](D d) { EXPECT_EQ(d.name(NameTable::HdmiOutputPort, 4), "Projector"); }},
        Change{"#port hdbt1 name=0123456789abcdef", {FrameHdbtOutputPortNames},
               [](S s) { EXPECT_EQ(s.nameAt(NameTable::HdbtOutputPort, 1).size(), 16u); },
               [](D d) {
                   EXPECT_EQ(d.name(NameTable::HdbtOutputPort, 1), "0123456789abcdef");
                   EXPECT_EQ(d.name(NameTable::HdbtOutputPort, 2), "HDBT2");
               }},
        Change{"#group5 exe=1 name=Lecture", {FrameSceneNames},
               [](S s) { EXPECT_EQ(s.nameAt(NameTable::Scene, 5), "Lecture"); },
               [](D d) { EXPECT_EQ(d.name(NameTable::Scene, 5), "Lecture"); }},
        Change{"#ip dhcp=1", {FrameNetwork}, [](S s) { EXPECT_TRUE(s.network.dhcp); },
               [](D d) { EXPECT_EQ(d.dhcp(), 1); }},
        Change{"#ip ip=10.1.2.3 mask=255.0.0.0 gw=10.0.0.1 dhcp=0", {FrameNetwork},
               [](S s) {
                   EXPECT_EQ(s.network.ip, (std::array<uint8_t, 4>{10, 1, 2, 3}));
                   EXPECT_FALSE(s.network.dhcp);
               },
               [](D d) {
                   EXPECT_EQ(d.ipAddress(), (std::array<uint8_t, 4>{10, 1, 2, 3}));
                   EXPECT_EQ(d.subnetMask(), (std::array<uint8_t, 4>{255, 0, 0, 0}));
                   EXPECT_EQ(d.gateway(), (std::array<uint8_t, 4>{10, 0, 0, 1}));
                   EXPECT_EQ(d.macAddress(), DefaultMatrixState().network.mac);
               }}));

TEST(MatrixDevice, scenesStoreAndRecallTheRouting)
{
    MatrixDevice device;
    device.Handle("#video_d out0 matrix=2");
    device.Handle("#video_d out3 matrix=4");
    EXPECT_EQ(typesOf(device.Handle("#group6 exe=1")), std::vector<int>{FrameStatus});
    device.Handle("#video_d out0 matrix=1");
    const DeviceResponse recall = device.Handle("#group6 exe=2");
    EXPECT_EQ(device.State().routing, (MatrixState::Routing{2, 2, 4, 2}));
    EXPECT_EQ(decoded(recall)->videoInput(3), 4);
    EXPECT_EQ(device.State().nameAt(NameTable::Scene, 6), "Scene6")
        << "a plain save keeps the name";
}

TEST(MatrixDevice, storingAUserEdidChangesWhatInputsUsingTheSlotPresent)
{
    MatrixDevice device;
    device.Handle("#edid_d in3 mode=1 data=2");
    device.Handle("#edid_d user2 mode=3 data=1");
    EXPECT_EQ(device.State().nameAt(NameTable::EdidInput, 3), "1080P 2CH");
    EXPECT_EQ(device.State().nameAt(NameTable::EdidInput, 1), "4K60 444 HDR");
}

TEST(MatrixDevice, refusedCommandChangesNothingAndSendsNothing)
{
    MatrixDevice device;
    const MatrixState before = device.State();
    const DeviceResponse response = device.Handle("#video_d out1 matrix=2#video_d out2 matrix=3");
    EXPECT_FALSE(response.accepted);
    EXPECT_TRUE(response.frames.empty());
    EXPECT_EQ(device.State(), before);
}

TEST(MatrixDevice, factoryResetRestoresDefaultsSilently)
{
    MatrixDevice device;
    device.Handle("#video_d out0 matrix=3");
    device.Handle("#port in1 name=Camera");
    device.Handle("#ip dhcp=1");
    const DeviceResponse response = device.Handle("#factory");
    EXPECT_TRUE(response.frames.empty());
    EXPECT_FALSE(response.restart);
    EXPECT_EQ(device.State(), DefaultMatrixState());
}

TEST(MatrixDevice, restartIsAnnouncedAndKeepsTheState)
{
    MatrixDevice device;
    device.Handle("#video_d out0 matrix=3");
    const DeviceResponse response = device.Handle("#power start=1");
    EXPECT_TRUE(response.restart);
    EXPECT_TRUE(response.frames.empty());
    EXPECT_EQ(device.State().routing, (MatrixState::Routing{3, 3, 3, 3}));
}

TEST(MatrixBlocks, framesHaveTheLengthsTheLayoutsNeed)
{
    const MatrixState state = DefaultMatrixState();
    // L counts the block's bytes including the checksum that ends it.
    EXPECT_EQ(lengthField(StatusFrame(state)), 89);
    EXPECT_EQ(lengthField(NetworkFrame(state)), 40);
    EXPECT_EQ(lengthField(ModelFrame(state)), 49);
    EXPECT_EQ(lengthField(NameTableFrame(state, NameTable::EdidDefault)), 257);
    EXPECT_EQ(lengthField(NameTableFrame(state, NameTable::Scene)), 129);
}

TEST(MatrixBlocks, statusValuesSitAtTheirOffsets)
{
    MatrixState state = DefaultMatrixState();
    state.routing = {4, 1, 2, 3};
    state.audioInputMode = {0, 1, 2, 0};
    state.audioIis = {0, 1, 0, 1};
    state.audioSpdif = {1, 0, 1, 0};
    state.edidMode = {0, 1, 2, 3};
    state.edidSource = {8, 1, 4, 2};
    const auto block = StatusBlockData(state);
    ASSERT_EQ(block.size(), 88u);
    const std::vector<uint8_t> expect[] = {{3, 0, 1, 2}, {0, 1, 2, 0}, {1, 1, 1, 1}, {0, 1, 0, 1},
                                           {1, 0, 1, 0}, {0, 1, 2, 3}, {7, 0, 3, 1}};
    const size_t offsets[] = {16, 40, 48, 56, 64, 72, 80};
    for (size_t k = 0; k < std::size(offsets); ++k)
        EXPECT_EQ(std::vector<uint8_t>(block.begin() + offsets[k], block.begin() + offsets[k] + 4),
                  expect[k])
            << "offset " << offsets[k];
}

TEST(MatrixBlocks, upperBitsDoNotChangeWhatThePanelReads)
{
    MatrixState state = DefaultMatrixState();
    state.routing = {2, 3, 4, 1};
    state.edidMode = {3, 2, 1, 0};
    DeviceStatus plain;
    DeviceStatus flagged;
    DecodeChunk(plain, StatusFrame(state));
    DecodeChunk(flagged, StatusFrame(state, 0xC0));
    EXPECT_NE(*plain.statusBlock, *flagged.statusBlock);
    for (int n = 1; n <= 4; ++n) {
        EXPECT_EQ(flagged.videoInput(n), plain.videoInput(n));
        EXPECT_EQ(flagged.edidMode(n), plain.edidMode(n));
        EXPECT_EQ(flagged.audioOutputIis(n), plain.audioOutputIis(n));
    }
}

TEST(MatrixBlocks, modelAndNetworkTextsAreReadBackWhole)
{
    MatrixState state = DefaultMatrixState();
    state.productModel = "ABCDEFGHIJKLMNOP"; // full width: no terminator on the wire
    state.network.netbiosName = "ROOM-12";
    DeviceStatus status;
    DecodeChunk(status, ModelFrame(state));
    DecodeChunk(status, NetworkFrame(state));
    EXPECT_EQ(status.productModel(), "ABCDEFGHIJKLMNOP");
    EXPECT_EQ(status.releaseVersion(), state.releaseVersion);
    EXPECT_EQ(status.netbiosName(), "ROOM-12");
    EXPECT_EQ(status.dnsServer(), state.network.dns);
}

TEST(MatrixBlocks, defaultNamesFillTheTablesThePagesShow)
{
    const MatrixState state = DefaultMatrixState();
    DeviceStatus status;
    for (const auto& frame : FullStateFrames(state))
        DecodeChunk(status, frame);
    EXPECT_EQ(status.name(NameTable::InputPort, 1), "Input1");
    EXPECT_EQ(status.name(NameTable::HdmiOutputPort, 4), "HDMI4");
    EXPECT_EQ(status.name(NameTable::HdbtOutputPort, 2), "HDBT2");
    EXPECT_EQ(status.name(NameTable::Scene, 8), "Scene8");
    EXPECT_EQ(status.name(NameTable::EdidDefault, 1), "1080P 2CH");
    EXPECT_EQ(status.name(NameTable::EdidDefault, 8), "4K60 444 HDR");
    for (int n = 1; n <= 8; ++n)
        EXPECT_FALSE(status.name(NameTable::EdidUser, n).empty()) << n;
    EXPECT_EQ(status.name(NameTable::InputPort, 5), "") << "the matrix has four inputs";
}

} // namespace
