// The requests every front end shares: what they refuse, with which code, and what they send.
#include "MatrixRequests.h"
#include "MatrixBlocks.h"
#include "ReplyDecoder.h"

#include <functional>
#include <gtest/gtest.h>

namespace {

struct Refused {
    const char* what;
    std::function<MatrixAction()> request;
    const char* code;
    const char* message; // a part of the message, naming the value
};

void PrintTo(const Refused& r, std::ostream* out) { *out << r.what; }

class RequestRefusals : public ::testing::TestWithParam<Refused> {};

TEST_P(RequestRefusals, refuseWithAStableCodeAndAMessageNamingTheValue)
{
    const Refused& expected = GetParam();
    try {
        expected.request();
        ADD_FAILURE() << "not refused";
    } catch (const Refusal& refusal) {
        EXPECT_STREQ(RefusalCodeName(refusal.code), expected.code);
        EXPECT_NE(refusal.message.find(expected.message), std::string::npos) << refusal.message;
    }
}

using namespace Requests;

INSTANTIATE_TEST_SUITE_P(
    Values, RequestRefusals,
    ::testing::Values(
        Refused{"input 5", [] { return Route(5, {1}); }, "bad_value",
                "input must be a number from 1 to 4, not 5"},
        Refused{"all with others",
                [] {
                    return Route(1, {kAllPorts, 2});
                },
                "bad_value", "'all' stands alone"},
        Refused{"no output", [] { return Route(1, {}); }, "bad_value", "no output given"},
        Refused{"scene 9", [] { return SceneRecall(9); }, "bad_value", "scene must be"},
        Refused{"empty name", [] { return SceneName(1, ""); }, "bad_name", "empty"},
        Refused{"long name", [] { return RenamePort(PortGroup::Hdmi, 1, "ABCDEFGHIJKLMNOPQ"); },
                "bad_name", "'ABCDEFGHIJKLMNOPQ' is 17 of 16 bytes"},
        Refused{"long Chinese name", [] { return SceneName(1, "会议室会议室会议室"); }, "bad_name",
                "'会议室会议室会议室' is 18 of 16 bytes; Chinese characters take 2 bytes each"},
        Refused{"name with #", [] { return RenamePort(PortGroup::Input, 1, "a#b"); }, "bad_name",
                "Name must not contain # or control characters: 'a#b'"},
        Refused{"audio mode 7", [] { return AudioInput(1, AudioInputMode(7)); }, "bad_value",
                "the audio mode"},
        Refused{"output 5", [] { return AudioOutput(5, AudioPath::Iis, true); }, "bad_value",
                "output must be 'all' or a number from 1 to 4, not 5"},
        Refused{"hdmi source 5", [] { return EdidInput(1, EdidHdmi, 5); }, "bad_value",
                "from 1 to 4"},
        Refused{"user source 9", [] { return EdidInput(kAllPorts, EdidUser, 9); }, "bad_value",
                "from 1 to 8"},
        Refused{"user slot 0", [] { return EdidStoreUser({0}, EdidHdmi, 1); }, "bad_value",
                "user slot"},
        Refused{"store from a slot", [] { return EdidStoreUser({1}, EdidUser, 1); }, "bad_value",
                "hdmi, hdbt"},
        Refused{"leading zero",
                [] { return StaticAddress("010.1.1.1", "255.0.0.0", "10.0.0.1", false, false); },
                "bad_address", "'010.1.1.1': part 1 has a leading zero"},
        Refused{"gap in the mask",
                [] { return StaticAddress("10.1.1.1", "255.0.255.0", "10.0.0.1", false, true); },
                "bad_address", "'255.0.255.0' is not a subnet mask"},
        Refused{"blank before the address",
                [] { return StaticAddress(" 1.2.3.4", "255.0.0.0", "1.0.0.1", false, false); },
                "bad_address", "Please check IP & MASK & GW: ' 1.2.3.4' contains a blank"},
        Refused{"sign",
                [] { return StaticAddress("+1.2.3.4", "255.0.0.0", "1.0.0.1", false, false); },
                "bad_address", "'+1.2.3.4' contains a sign"},
        Refused{"loopback",
                [] { return StaticAddress("127.0.0.5", "255.0.0.0", "127.0.0.1", false, false); },
                "bad_address", "Invalid IP address starting with 127"},
        Refused{"gateway elsewhere",
                [] {
                    return StaticAddress("192.168.1.10", "255.255.255.0", "192.168.2.1", false,
                                         false);
                },
                "other_segment", "not on the same network segment"},
        Refused{"restart", [] { return Restart(false); }, "needs_confirmation", "restart"},
        Refused{"factory reset", [] { return FactoryReset(false); }, "needs_confirmation",
                "factory reset"},
        Refused{"empty text", [] { return RawText(""); }, "bad_text", "empty"},
        Refused{"text beyond code page 936", [] { return RawText("\xF0\x9F\x98\x80"); }, "bad_text",
                "code page 936"}));

TEST(Requests, acceptedRequestsSendTheirCommandsInOrder)
{
    const std::pair<MatrixAction, std::vector<HostCommand>> cases[] = {
        {Route(3, {2, 4, 2}), {"#video_d out2 matrix=3", "#video_d out4 matrix=3"}},
        {Route(1, {kAllPorts}), {"#video_d out0 matrix=1"}},
        {SceneName(4, "\xE5\xA4\xA7\xE5\x8E\x85"), {"#group4 exe=1 name=\xB4\xF3\xCC\xFC"}},
        {EdidStoreUser({2, 1}, EdidHdbt, 3),
         {"#edid_d user2 mode=3 data=3", "#edid_d user1 mode=3 data=3"}},
        {StaticAddress("192.168.1.10", "255.255.255.0", "192.168.2.1", true, true),
         {"#ip ip=192.168.1.10 mask=255.255.255.0 gw=192.168.2.1 dhcp=1"}},
        {RawText("a\nb\r\nc"), {"a\r\nb\r\nc"}},
        {Restart(true), {"#power start=1"}},
    };
    for (const auto& [action, commands] : cases)
        EXPECT_EQ(action.commands, commands);
}

// Whether the action counts as taken once the matrix reports this routing (inputs from 1).
bool confirmedBy(const MatrixAction& action, MatrixState::Routing routing)
{
    MatrixState state = DefaultMatrixState();
    state.routing = routing;
    DeviceStatus status;
    DecodeChunk(status, StatusFrame(state));
    return action.confirmed(status);
}

TEST(Requests, routeIsConfirmedOnlyWhenEveryAddressedOutputShowsTheInput)
{
    const MatrixAction some = Route(3, {2, 4});
    EXPECT_EQ(some.confirmType, 2);
    EXPECT_TRUE(confirmedBy(some, {1, 3, 2, 3}));
    EXPECT_FALSE(confirmedBy(some, {1, 3, 2, 4}));
    const MatrixAction all = Route(3, {kAllPorts});
    EXPECT_TRUE(confirmedBy(all, {3, 3, 3, 3}));
    EXPECT_FALSE(confirmedBy(all, {3, 3, 1, 3}));
}

TEST(ControlWords, wordsReadInAnyCaseAndRoundTripWithTheDocumentsWords)
{
    EXPECT_EQ(ParseAudioMode("H"), AudioH);
    EXPECT_EQ(ParseEdidMode("HdBt"), EdidHdbt);
    EXPECT_EQ(ParseTarget("ALL", 4, "output"), kAllPorts);
    EXPECT_TRUE(ParseSwitch("On", "the switch"));
    EXPECT_EQ(ParsePortGroup("HDMI"), PortGroup::Hdmi);
    for (int mode : {AudioOff, AudioH, AudioA})
        EXPECT_EQ(ParseAudioMode(AudioModeWord(mode)), mode);
    for (int mode : {EdidDefault, EdidUser, EdidHdmi, EdidHdbt})
        EXPECT_EQ(ParseEdidMode(EdidModeWord(mode)), mode);
    EXPECT_EQ(AudioModeWord(9), "9");
}

TEST(ControlWords, numbersOutsideTheirRangeOrNotNumbersAreRefusedByName)
{
    for (const char* text : {"0", "5", "1234", "-1", "+1", " 1", "1x", ""}) {
        try {
            ParseTarget(text, 4, "output");
            ADD_FAILURE() << "'" << text << "' read";
        } catch (const Refusal& refusal) {
            EXPECT_EQ(refusal.code, RefusalCode::BadValue);
            EXPECT_EQ(refusal.message,
                      std::string("output must be 'all' or a number from 1 to 4, not '") + text +
                          "'");
        }
    }
    EXPECT_EQ(ParseNumber("008", 1, 8, "scene"), 8);
}

} // namespace
