#pragma once
// The ADDR:PORT that tavloctl's listeners take (serve --listen, sim --listen).
#include <QHostAddress>
#include <string>

// A literal address ("[::1]:4001" for IPv6) or "localhost", a colon and a port; port 0 takes
// any free port. A malformed one is a UsageError.
void ParseListenAddress(const std::string& text, QHostAddress& address, quint16& port);
