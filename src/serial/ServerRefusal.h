#pragma once
// The first bytes from a `tavloctl serve` raw endpoint may be its refusal rather than the
// matrix's: one line beginning "tavloctl serve: ", then the close. This watches the start of
// the stream for it, holding back only bytes that could still be the start of such a line, so
// the matrix's own bytes pass untouched; once any other byte has come, it lets everything
// through. Port thread only.
#include "PortOpenError.h"

#include <QByteArray>
#include <QString>
#include <optional>

class ServerRefusal {
public:
    // serverName names the server in the messages: "HOST:PORT".
    explicit ServerRefusal(QString serverName) : serverName_(std::move(serverName)) {}

    // The bytes that may go on to the reader now (possibly none, possibly held ones too).
    QByteArray Pass(const QByteArray& bytes);
    // Set once a whole refusal line has come: what the user is told.
    const std::optional<PortOpenFailure>& Refusal() const { return refusal_; }
    // The stream ended: a refusal line that lacks only its line end still counts.
    void AtEnd();
    const QString& ServerName() const { return serverName_; }

private:
    void classify(const QByteArray& line);

    QString serverName_;
    QByteArray held_;
    bool watching_ = true;
    std::optional<PortOpenFailure> refusal_;
};
