#pragma once
// What changed between two state documents, one line of words per change, as `tavloctl watch`
// prints them: "output 2 ← input 3 (Camera)", "input 1 is named 'Camera' (was 'Input1')".
// Values still unknown (null) on either side are not changes; the first whole state is
// described by InitialStateLines instead.
#include <QJsonObject>
#include <QStringList>

QStringList StateChangeLines(const QJsonObject& before, const QJsonObject& after);

// The routing of a state just received whole, one line per output.
QStringList InitialStateLines(const QJsonObject& state);
