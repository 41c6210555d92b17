#include "HostCommands.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    HostCommand built;
    const char* expected;
};

TEST(HostCommands, everyFormatBuildsItsExactBytes)
{
    const Case cases[] = {
        {Commands::VideoRoute(2, 3), "#video_d out2 matrix=3"},
        {Commands::VideoRoute(0, 4), "#video_d out0 matrix=4"},
        {Commands::SceneSave(8), "#group8 exe=1"},
        {Commands::SceneRecall(5), "#group5 exe=2"},
        {Commands::SceneSaveNamed(6, "Meeting"), "#group6 exe=1 name=Meeting"},
        {Commands::PortRename(PortGroup::Input, 1, "Cam"), "#port in1 name=Cam"},
        {Commands::PortRename(PortGroup::Hdmi, 4, "TV"), "#port hdmi4 name=TV"},
        {Commands::PortRename(PortGroup::Hdbt, 3, "Lobby"), "#port hdbt3 name=Lobby"},
        {Commands::AudioInput(2, AudioA), "#audio_d in2 enc=2"},
        {Commands::AudioInput(0, AudioOff), "#audio_d in0 enc=0"},
        {Commands::AudioOutputIis(3, true), "#audio_d out3 iis=1"},
        {Commands::AudioOutputSpdif(0, false), "#audio_d out0 spdif=0"},
        {Commands::EdidInput(1, EdidUser, 3), "#edid_d in1 mode=1 data=3"},
        {Commands::EdidInput(0, EdidHdbt, 4), "#edid_d in0 mode=3 data=4"},
        {Commands::EdidStoreUser(5, EdidHdbt, 3), "#edid_d user5 mode=3 data=3"},
        {Commands::IpDhcp(true), "#ip dhcp=1"},
        {Commands::IpStatic("192.168.1.10", "255.255.255.0", "192.168.1.1", false),
         "#ip ip=192.168.1.10 mask=255.255.255.0 gw=192.168.1.1 dhcp=0"},
        {Commands::Restart(), "#power start=1"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.built, c.expected);
}

TEST(HostCommands, fixedCommandsCarryNoTerminatorOrLineEnd)
{
    EXPECT_EQ(Commands::FactoryReset().size(), 8u);
    EXPECT_EQ(Commands::RequestAll(), std::string("#upper:80/00", 12));
    EXPECT_EQ(Commands::RequestStatus(), "#upper:20/0F");
    EXPECT_EQ(Commands::Restart().size(), 14u);
}

TEST(HostCommands, encodedNameBytesPassThroughUntouched)
{
    const std::string gbk = "\xbb\xe1\xd2\xe9"; // two characters in code page 936
    EXPECT_EQ(Commands::PortRename(PortGroup::Input, 2, gbk), "#port in2 name=" + gbk);
}

TEST(HostCommands, formattedCommandsKeepEveryByteWhateverTheirLength)
{
    const std::string longField(300, 'x');
    const HostCommand built = FormatCommand("#port in%d name=%s", 1, longField.c_str());
    EXPECT_EQ(built, "#port in1 name=" + longField);
    EXPECT_EQ(FormatCommand("#group%d exe=%d", 8, 1), "#group8 exe=1");
}

} // namespace
