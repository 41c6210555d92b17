#include "ConsoleText.h"

#include <QCoreApplication>
#include <QStringList>
#include <windows.h>

void PrepareConsole() { SetConsoleOutputCP(CP_UTF8); }

// argv holds the arguments in the ANSI code page, where a Chinese name becomes "???";
// Qt reads the wide command line.
std::vector<std::string> Utf8Arguments(int, char**)
{
    std::vector<std::string> arguments;
    for (const QString& argument : QCoreApplication::arguments())
        arguments.push_back(argument.toStdString());
    return arguments;
}
