#pragma once
// The matrix state as one JSON object: routing, audio, EDID, names (UTF-8), network, model and
// the acquisition flags. Parts whose block has not arrived are null.
#include "DeviceStatus.h"

#include <QJsonObject>

QJsonObject DeviceStatusToJson(const DeviceStatus& status);
