#include "HostCommands.h"

namespace Commands {

HostCommand VideoRoute(int output, int input)
{
    return FormatCommand("#video_d out%d matrix=%d", output, input);
}

HostCommand SceneSave(int preset) { return FormatCommand("#group%d exe=1", preset); }

HostCommand SceneRecall(int preset) { return FormatCommand("#group%d exe=2", preset); }

HostCommand SceneSaveNamed(int preset, std::string_view encodedName)
{
    return FormatCommand("#group%d exe=1 name=", preset).append(encodedName);
}

HostCommand PortRename(PortGroup group, int port, std::string_view encodedName)
{
    const char* target = group == PortGroup::Input  ? "in"
                         : group == PortGroup::Hdmi ? "hdmi"
                                                    : "hdbt";
    return FormatCommand("#port %s%d name=", target, port).append(encodedName);
}

HostCommand AudioInput(int input, int enc)
{
    return FormatCommand("#audio_d in%d enc=%d", input, enc);
}

HostCommand AudioOutputIis(int output, bool on)
{
    return FormatCommand("#audio_d out%d iis=%d", output, on ? 1 : 0);
}

HostCommand AudioOutputSpdif(int output, bool on)
{
    return FormatCommand("#audio_d out%d spdif=%d", output, on ? 1 : 0);
}

HostCommand EdidInput(int input, int mode, int data)
{
    return FormatCommand("#edid_d in%d mode=%d data=%d", input, mode, data);
}

HostCommand EdidStoreUser(int slot, int mode, int output)
{
    return FormatCommand("#edid_d user%d mode=%d data=%d", slot, mode, output);
}

HostCommand IpDhcp(bool on) { return on ? "#ip dhcp=1" : "#ip dhcp=0"; }

HostCommand IpStatic(std::string_view ip, std::string_view mask, std::string_view gateway,
                     bool dhcp)
{
    HostCommand line = "#ip ip=";
    line.append(ip).append(" mask=").append(mask).append(" gw=").append(gateway);
    return line.append(dhcp ? " dhcp=1" : " dhcp=0");
}

HostCommand Restart() { return "#power start=1"; }
HostCommand FactoryReset() { return "#factory"; }
HostCommand RequestAll() { return "#upper:80/00"; }
HostCommand RequestStatus() { return "#upper:20/0F"; }

} // namespace Commands
