#pragma once
// The matrix as the panel shows it, as one JSON object for programs: device, inputs, outputs,
// scenes, EDID names and network, with names as text, switches as booleans and modes as the
// words the requests take. docs/api.md describes every field.
//
// The shape never changes: every object and array is always there with all its entries, and a
// value whose part of the state has not arrived is null. The top-level keys are this
// document's; a front end may add its own beside them (the server adds "link" and "stale").
#include "DeviceStatus.h"

#include <QJsonObject>

// Raised whenever a field changes meaning or goes away; new fields do not raise it.
inline constexpr int kStateApiVersion = 1;

QJsonObject StateDocument(const DeviceStatus& status);
