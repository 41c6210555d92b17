#pragma once
// Commands that arrive on PREFIX/ID/…/set, read into the shared requests: the topic says what
// to change and on which port, the payload gives the value. Every value is checked, and every
// command built, by the functions tavloctl and the JSON endpoint use, so a refusal carries the
// same code and words. docs/mqtt.md lists the topics.
#include "ApiRequests.h"
#include "MatrixAction.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <optional>

// topic: below the base, without its "/set" ("output/2/input"); state: the state document,
// for routing by input name. Nothing when no command has that topic. Throws Refusal for a
// value the matrix must not be sent, BadRequest for a payload that cannot be read.
std::optional<MatrixAction> ActionForTopic(const QString& topic, const QByteArray& payload,
                                           const QJsonObject& state);
