#include "SimLink.h"

#include "CliCommands.h"

void MakeSimLink(const std::string&, const std::string&)
{
    throw UsageError{"--link is not on Windows, which has no pseudo-terminals: use --listen "
                     "ADDR:PORT and open socket://ADDR:PORT"};
}

void RemoveSimLink(const std::string&, const std::string&) {}
