#pragma once
// The command lines the matrix understands. Each builder returns the exact bytes to put on
// the wire: no terminator, no line end. Commands are told apart by the matrix only by the
// pause in front of each (see SendCommand). Port, input, output, scene and slot numbers count
// from 1; 0 as a target means "all".
#include <cstdio>
#include <string>
#include <string_view>

using HostCommand = std::string;

enum class PortGroup { Input, Hdmi, Hdbt };

// EDID source modes, the same codes the status block reports.
enum EdidMode { EdidDefault = 0, EdidUser = 1, EdidHdmi = 2, EdidHdbt = 3 };

// Audio input modes ("enc" codes), the same codes the status block reports.
enum AudioInputMode { AudioOff = 0, AudioH = 1, AudioA = 2 };

// Formats numeric fields the way the matrix expects them (plain decimal, no padding) into a
// command of whatever length the pattern yields.
template <typename... Args> HostCommand FormatCommand(const char* pattern, Args... args)
{
    const int length = std::snprintf(nullptr, 0, pattern, args...);
    if (length <= 0)
        return {};
    HostCommand line(static_cast<size_t>(length), '\0');
    // The string owns one byte beyond its size for the terminator snprintf writes.
    std::snprintf(line.data(), line.size() + 1, pattern, args...);
    return line;
}

namespace Commands {

HostCommand VideoRoute(int output, int input); // output 0 = all outputs
HostCommand SceneSave(int preset);             // "#group%d exe=1"
HostCommand SceneRecall(int preset);           // "#group%d exe=2"
HostCommand SceneSaveNamed(int preset, std::string_view encodedName);
HostCommand PortRename(PortGroup group, int port, std::string_view encodedName);
HostCommand AudioInput(int input, int enc);           // input 0 = all inputs
HostCommand AudioOutputIis(int output, bool on);      // output 0 = all outputs
HostCommand AudioOutputSpdif(int output, bool on);    // output 0 = all outputs
HostCommand EdidInput(int input, int mode, int data); // input 0 = all inputs
HostCommand EdidStoreUser(int slot, int mode, int output);
HostCommand IpDhcp(bool on);
HostCommand IpStatic(std::string_view ip, std::string_view mask, std::string_view gateway,
                     bool dhcp);
HostCommand Restart();       // "#power start=1"
HostCommand FactoryReset();  // "#factory"
HostCommand RequestAll();    // "#upper:80/00"
HostCommand RequestStatus(); // "#upper:20/0F"

} // namespace Commands
