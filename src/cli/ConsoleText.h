#pragma once
// tavloctl's text in and out is UTF-8 on every system. On Windows the arguments arrive in
// UTF-16 and the console takes the ANSI code page unless told otherwise: ConsoleText_win.cpp;
// on Unix they are UTF-8 already: ConsoleText_unix.cpp.
#include <string>
#include <vector>

// Sets the console up for UTF-8 output. Call once, before anything is printed.
void PrepareConsole();

// The program's arguments as UTF-8, argv[0] first. Needs the QCoreApplication.
std::vector<std::string> Utf8Arguments(int argc, char** argv);
