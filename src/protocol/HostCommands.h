#pragma once
// The command lines the matrix understands. Each builder returns the exact bytes to put on
// the wire: no terminator, no line end. Commands are told apart by the matrix only by the
// pause in front of each (see SendCommand). Port, input, output, scene and slot numbers count
// from 1; 0 as a target means "all".
#include <string>
#include <string_view>

using HostCommand = std::string;

enum class PortGroup { Input, Hdmi, Hdbt };

// EDID source modes, the same codes the status block reports.
enum EdidMode { EdidDefault = 0, EdidUser = 1, EdidHdmi = 2, EdidHdbt = 3 };

// Audio input modes ("enc" codes), the same codes the status block reports.
enum AudioInputMode { AudioOff = 0, AudioH = 1, AudioA = 2 };

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
