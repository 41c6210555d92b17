#pragma once
// The JSON requests that change the matrix, read into the shared requests: the fields are
// taken from the JSON object, and every value is checked, and every command built, by the
// same functions the command line uses. A value they refuse throws their Refusal; a field
// that is missing or of the wrong JSON type throws BadRequest.
#include "MatrixAction.h"

#include <QJsonObject>
#include <QString>
#include <optional>

struct BadRequest {
    QString message;
};

struct ApiAction {
    MatrixAction action;
    bool wantsAnswer = false; // raw text: with a wait, the reply carries the matrix's answer
};

// Whether cmd names a request that changes the matrix (and so goes by POST over HTTP).
bool IsActionRequest(const QString& cmd);
// The action a request asks for; nothing when cmd names no action.
std::optional<ApiAction> ActionForRequest(const QString& cmd, const QJsonObject& request);
