#pragma once
// How many terminal columns text takes: East Asian wide and full-width characters take two,
// combining marks none, the rest one. Tables line up by this, not by the count of characters,
// so that Chinese names stand in their columns.
#include <QString>

int DisplayWidth(const QString& text);

// The text followed by spaces up to the width in columns (never cut).
QString PadToWidth(const QString& text, int width);
