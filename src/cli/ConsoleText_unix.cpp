#include "ConsoleText.h"

void PrepareConsole() {}

std::vector<std::string> Utf8Arguments(int argc, char** argv)
{
    // As given: a path need not be valid text, and the bytes must reach the system unchanged.
    return std::vector<std::string>(argv, argv + argc);
}
