#pragma once
// The matrix's state as retained MQTT messages, read from the state document so that the two
// always agree: one topic per value, below PREFIX/ID/, with a plain payload (a number, a word,
// a name) or, where a value has parts, a small JSON object shaped as in the document. A value
// that has not arrived from the matrix has no message. docs/mqtt.md lists every topic.
#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <map>

// Topic below the base → payload.
using MqttMessages = std::map<QString, QByteArray>;

MqttMessages StateMessages(const QJsonObject& state);
