#pragma once
// Home Assistant's discovery messages for one matrix, retained under the discovery prefix: a
// device (model, firmware, an id made of the base topic), and its entities, all tied to the
// bridge's availability topic:
//   - a select per output, choosing among the inputs by name;
//   - a button per scene, recalling it;
//   - a switch per output and audio path (I2S, S/PDIF);
//   - a select per input's audio mode;
//   - sensors for the model and the firmware.
// Nothing until the matrix has told its model and the input and scene names: an entity
// offered before would only change again at once. A changed name changes the messages that
// show it, and so they are published again.
#include "MqttOptions.h"
#include "MqttStateTopics.h"

#include <QJsonObject>

// Full topic → payload.
MqttMessages DiscoveryMessages(const QJsonObject& state, const MqttOptions& options);
