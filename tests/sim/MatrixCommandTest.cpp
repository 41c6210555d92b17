// The matrix's reading of command lines: every format the panel sends is understood, and
// anything else (including two commands run together) is refused with a reason.
#include "MatrixCommand.h"

#include <gtest/gtest.h>
#include <ostream>

namespace
{

struct Accepted {
    std::string line;
    CommandKind kind;
    int target;
    int value;
    int data;
};

void PrintTo(const Accepted& accepted, std::ostream* out)
{
    *out << accepted.line;
}

class AcceptedLine : public ::testing::TestWithParam<Accepted>
{
};

TEST_P(AcceptedLine, parsesIntoItsFields)
{
    const Accepted& want = GetParam();
    const ParsedCommand parsed = ParseMatrixCommand(want.line);
    ASSERT_TRUE(parsed.command) << parsed.error;
    EXPECT_EQ(parsed.command->kind, want.kind);
    EXPECT_EQ(parsed.command->target, want.target);
    EXPECT_EQ(parsed.command->value, want.value);
    EXPECT_EQ(parsed.command->data, want.data);
}

INSTANTIATE_TEST_SUITE_P(
    Formats, AcceptedLine,
    ::testing::Values(Accepted{"#video_d out2 matrix=3", CommandKind::Route, 2, 3, 0},
                      Accepted{"#video_d out0 matrix=4", CommandKind::Route, 0, 4, 0},
                      Accepted{"#group8 exe=1", CommandKind::SceneSave, 8, 0, 0},
                      Accepted{"#group1 exe=2", CommandKind::SceneRecall, 1, 0, 0},
                      Accepted{"#audio_d in0 enc=2", CommandKind::AudioInput, 0, 2, 0},
                      Accepted{"#audio_d in3 enc=0", CommandKind::AudioInput, 3, 0, 0},
                      Accepted{"#audio_d out4 iis=1", CommandKind::AudioIis, 4, 1, 0},
                      Accepted{"#audio_d out0 spdif=0", CommandKind::AudioSpdif, 0, 0, 0},
                      Accepted{"#edid_d in1 mode=0 data=8", CommandKind::EdidInput, 1, 0, 8},
                      Accepted{"#edid_d in0 mode=3 data=4", CommandKind::EdidInput, 0, 3, 4},
                      Accepted{"#edid_d user8 mode=2 data=1", CommandKind::EdidStoreUser, 8, 2, 1},
                      Accepted{"#ip dhcp=1", CommandKind::IpDhcp, 0, 1, 0},
                      Accepted{"#power start=1", CommandKind::Restart, 0, 0, 0},
                      Accepted{"#factory", CommandKind::Factory, 0, 0, 0},
                      Accepted{"#upper:80/00", CommandKind::RequestAll, 0, 0, 0},
                      Accepted{"#upper:20/0F", CommandKind::RequestStatus, 0, 0, 0}));

class RefusedLine : public ::testing::TestWithParam<std::string>
{
};

TEST_P(RefusedLine, isRefusedWithAReason)
{
    const ParsedCommand parsed = ParseMatrixCommand(GetParam());
    EXPECT_FALSE(parsed.command);
    EXPECT_FALSE(parsed.error.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Malformed, RefusedLine,
    ::testing::Values(
        "", "video_d out1 matrix=1", "#video_d out1 matrix=1#upper:20/0F",
        "#upper:80/00#upper:80/00", "#video_d out1 matrix=1\r\n", "#video_d out1 matrix=1 ",
        "#video_d  out1 matrix=1", "#video_d out01 matrix=1", "#video_d out1 matrix=+1",
        "#video_d out1 matrix=", "#video_d out5 matrix=1", "#video_d out1 matrix=0",
        "#video_d out1 matrix=5", "#group0 exe=1", "#group9 exe=2", "#group1 exe=3",
        "#group1 exe=2 name=x", "#port in0 name=x", "#port hdmi5 name=x", "#port out1 name=x",
        "#port in1 name=abcdefghijklmnopq", std::string("#port in1 name=a\tb"),
        "#audio_d in1 enc=3", "#audio_d in5 enc=1", "#audio_d out1 iis=2", "#audio_d out1 hdmi=1",
        "#edid_d in1 mode=4 data=1", "#edid_d in1 mode=2 data=5", "#edid_d in1 mode=0 data=9",
        "#edid_d in1 mode=1 data=0", "#edid_d user1 mode=1 data=1", "#edid_d user0 mode=2 data=1",
        "#ip dhcp=2", "#ip ip=1.2.3 mask=255.0.0.0 gw=1.1.1.1 dhcp=0",
        "#ip ip=1.2.3.4.5 mask=255.0.0.0 gw=1.1.1.1 dhcp=0",
        "#ip ip=1.2.3.256 mask=255.0.0.0 gw=1.1.1.1 dhcp=0",
        "#ip ip=1.2.3.4 mask=255.0.0.0 gw=1.1.1.1", "#power start=0", "#factory ",
        "#port in1 name=a#b", "#upper:80/01", "#reboot"));

TEST(ParseMatrixCommand, twoCommandsRunTogetherAreNamedAsSuch)
{
    const ParsedCommand parsed = ParseMatrixCommand("#video_d out1 matrix=1#video_d out2 matrix=2");
    EXPECT_NE(parsed.error.find("without a pause"), std::string::npos) << parsed.error;
}

TEST(ParseMatrixCommand, namesKeepTheirBytesSpacesAndFullWidth)
{
    const std::string gbk = "\xB4\xF3\xCC\xFC"; // two characters in code page 936
    struct Case {
        std::string line;
        CommandKind kind;
        PortGroup group;
        std::string name;
    };
    const Case cases[] = {
        {"#port in2 name=Blu ray", CommandKind::PortRename, PortGroup::Input, "Blu ray"},
        {"#port hdmi4 name=" + gbk, CommandKind::PortRename, PortGroup::Hdmi, gbk},
        {"#port hdbt1 name=0123456789abcdef", CommandKind::PortRename, PortGroup::Hdbt,
         "0123456789abcdef"},
        {"#port in1 name=", CommandKind::PortRename, PortGroup::Input, ""},
        {"#group3 exe=1 name=Movie night", CommandKind::SceneSave, PortGroup::Input, "Movie night"},
    };
    for (const Case& c : cases) {
        const ParsedCommand parsed = ParseMatrixCommand(c.line);
        ASSERT_TRUE(parsed.command) << c.line << ": " << parsed.error;
        EXPECT_EQ(parsed.command->kind, c.kind) << c.line;
        EXPECT_EQ(parsed.command->group, c.group) << c.line;
        EXPECT_EQ(parsed.command->name, c.name) << c.line;
    }
}

TEST(ParseMatrixCommand, staticAddressesAreReadPartByPart)
{
    const ParsedCommand parsed =
        ParseMatrixCommand("#ip ip=192.168.1.10 mask=255.255.255.0 gw=192.168.1.1 dhcp=0");
    ASSERT_TRUE(parsed.command) << parsed.error;
    EXPECT_EQ(parsed.command->kind, CommandKind::IpStatic);
    EXPECT_EQ(parsed.command->ip, (Address{192, 168, 1, 10}));
    EXPECT_EQ(parsed.command->mask, (Address{255, 255, 255, 0}));
    EXPECT_EQ(parsed.command->gateway, (Address{192, 168, 1, 1}));
    EXPECT_EQ(parsed.command->value, 0);
}

// Whatever the panel's command builders produce within their ranges, the matrix understands.
TEST(ParseMatrixCommand, everyBuiltCommandIsUnderstood)
{
    std::vector<HostCommand> lines;
    for (int n = 0; n <= 4; ++n) {
        lines.push_back(Commands::AudioOutputIis(n, n % 2 == 0));
        lines.push_back(Commands::AudioOutputSpdif(n, n % 2 == 1));
        for (int input = 1; input <= 4; ++input)
            lines.push_back(Commands::VideoRoute(n, input));
        for (int enc = AudioOff; enc <= AudioA; ++enc)
            lines.push_back(Commands::AudioInput(n, enc));
        for (int source = 1; source <= 8; ++source) {
            lines.push_back(Commands::EdidInput(n, EdidDefault, source));
            lines.push_back(Commands::EdidInput(n, EdidUser, source));
        }
        if (n >= 1) {
            lines.push_back(Commands::EdidInput(n, EdidHdmi, n));
            lines.push_back(Commands::EdidInput(n, EdidHdbt, n));
            lines.push_back(Commands::PortRename(PortGroup::Hdbt, n, "x"));
        }
    }
    for (int scene = 1; scene <= 8; ++scene) {
        lines.push_back(Commands::SceneSave(scene));
        lines.push_back(Commands::SceneRecall(scene));
        lines.push_back(Commands::SceneSaveNamed(scene, "Scene"));
        lines.push_back(Commands::EdidStoreUser(scene, EdidHdmi, 4));
    }
    lines.push_back(Commands::IpStatic("10.0.0.2", "255.0.0.0", "10.0.0.1", true));
    for (const HostCommand& line :
         {Commands::IpDhcp(true), Commands::IpDhcp(false), Commands::Restart(),
          Commands::FactoryReset(), Commands::RequestAll(), Commands::RequestStatus()})
        lines.push_back(line);
    for (const HostCommand& line : lines)
        EXPECT_TRUE(ParseMatrixCommand(line).command) << line;
}

} // namespace
