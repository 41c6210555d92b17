#pragma once
// One line on standard error per thing an administrator wants to know of: start, clients
// coming and going (and why), the line going down. Prefixed with the time of day.
#include <QString>

void ServerLog(const QString& line);
