#pragma once
// `tavloctl sim --link`: a fixed name for the simulator's pseudo-terminal, whose own name
// changes from run to run. Symbolic links are Unix's (SimLink_unix.cpp); on Windows the option
// is refused (SimLink_win.cpp), where the simulator is reached on a TCP port of one's choosing.
#include <string>

// Replaces an old link of ours, never a file of someone else's.
void MakeSimLink(const std::string& link, const std::string& target);
// Removes the link only while it still points at our pseudo-terminal.
void RemoveSimLink(const std::string& link, const std::string& target);
