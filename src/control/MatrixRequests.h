#pragma once
// Every request a front end can make of the matrix, checked and turned into commands. The
// command line, the server and its clients all come here, so a value refused by one is refused
// by all, with the same code and message. Each function throws a Refusal when a value may not
// be sent, before anything is.
//
// Numbers count from 1; kAllPorts (0) as a target means every port of the kind. Names and text
// are UTF-8 and are sent in code page 936.
#include "ControlWords.h"
#include "MatrixAction.h"
#include "Refusal.h"

#include <string_view>
#include <vector>

inline constexpr int kPortCount = 4;     // inputs, HDMI outputs, HDBT outputs
inline constexpr int kSceneCount = 8;    // stored routings
inline constexpr int kEdidSlotCount = 8; // built-in and user EDIDs

// How many sources an EDID mode offers: 8 slots for built-in and user EDIDs, 4 outputs else.
int EdidSourceCount(EdidMode mode);

namespace Requests {

// The input to each output, in the order given (duplicates once), or to all: {kAllPorts}.
MatrixAction Route(int input, const std::vector<int>& outputs);
MatrixAction SceneSave(int scene);
MatrixAction SceneRecall(int scene);
// Names the scene; the matrix also stores the current routing in it.
MatrixAction SceneName(int scene, std::string_view name);
MatrixAction RenamePort(PortGroup group, int port, std::string_view name);
MatrixAction AudioInput(int input, AudioInputMode mode);       // input may be kAllPorts
MatrixAction AudioOutput(int output, AudioPath path, bool on); // output may be kAllPorts
// The EDID an input presents: a built-in or user slot (1..8), or the EDID of an HDMI or HDBT
// output (1..4). The input may be kAllPorts.
MatrixAction EdidInput(int input, EdidMode mode, int source);
// Copies the EDID of an HDMI or HDBT output into each of the user slots.
MatrixAction EdidStoreUser(const std::vector<int>& userSlots, EdidMode outputKind, int output);
// Static settings, checked as the Network page checks them, and the address's first part as
// the page checks it while it is typed. A gateway outside the segment needs confirming.
MatrixAction StaticAddress(std::string_view ip, std::string_view mask, std::string_view gateway,
                           bool dhcp, bool otherSegmentConfirmed);
MatrixAction Dhcp(bool on);
// Both take the matrix away for a while: refused unless confirmed.
MatrixAction Restart(bool confirmed);
MatrixAction FactoryReset(bool confirmed);
// Free text as the Link page's Tx box sends it: line breaks go out as CR LF. The matrix's
// answer, if any, is not predicted.
MatrixAction RawText(std::string_view text);

} // namespace Requests
