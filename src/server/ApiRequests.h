#pragma once
// The JSON requests that change the matrix, read into the shared requests: the fields are
// taken from the JSON object, and every value is checked, and every command built, by the
// same functions the command line uses. A value they refuse throws their Refusal; a field
// that is missing or of the wrong JSON type throws BadRequest.
#include "MatrixAction.h"

#include <QJsonObject>
#include <QString>
#include <optional>
#include <string>
#include <vector>

struct BadRequest {
    QString message;
};

struct ApiAction {
    MatrixAction action;
    bool wantsAnswer = false; // raw text: with a wait, the reply carries the matrix's answer
};

// Whether cmd names a request that changes the matrix (and so goes by POST over HTTP).
bool IsActionRequest(const QString& cmd);
// A field the request cmd does not take, in words that name it and the field most likely meant
// ("unknown field \"wiat\"; did you mean \"wait\"?"); nothing when every field is known, or
// when cmd names no request at all.
std::optional<QString> UnknownFieldMessage(const QString& cmd, const QJsonObject& request);
// The action a request asks for; nothing when cmd names no action. inputNames (UTF-8, input 1
// first) let a route name its input as InputChoice.h reads it.
std::optional<ApiAction> ActionForRequest(const QString& cmd, const QJsonObject& request,
                                          const std::vector<std::string>& inputNames = {});
