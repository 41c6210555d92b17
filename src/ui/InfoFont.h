#pragma once
// The larger font of the read-only information boxes (EDID, network and system pages):
// 15 points of "新宋体" where the system has it, otherwise the closest CJK-capable monospace.
#include <QFont>

QFont InfoBoxFont();
