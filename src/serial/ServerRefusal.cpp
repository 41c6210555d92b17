#include "ServerRefusal.h"

#include <QRegularExpression>
#include <algorithm>
#include <utility>

namespace {
const QByteArray kPrefix = "tavloctl serve: ";
// A refusal is one short line; a longer one is not a refusal.
constexpr qsizetype kMaxLine = 1024;
} // namespace

QByteArray ServerRefusal::Pass(const QByteArray& bytes)
{
    if (!watching_)
        return bytes;
    held_ += bytes;
    const qsizetype compared = std::min(held_.size(), kPrefix.size());
    if (held_.left(compared) != kPrefix.left(compared) || held_.size() > kMaxLine) {
        watching_ = false;
        return std::exchange(held_, {});
    }
    const qsizetype end = held_.indexOf('\n');
    if (end >= 0) {
        watching_ = false;
        classify(held_.left(end));
        held_.clear();
    }
    return {};
}

void ServerRefusal::AtEnd()
{
    if (watching_ && held_.startsWith(kPrefix))
        classify(held_);
    watching_ = false;
}

void ServerRefusal::classify(const QByteArray& line)
{
    QString said = QString::fromUtf8(line.mid(kPrefix.size())).trimmed();
    said.remove(QRegularExpression(QStringLiteral(";? *closing$")));
    if (said.contains(QLatin1String("wrong token")))
        refusal_ = {PortOpenError::TokenRefused, QStringLiteral("the server refused the token")};
    else if (said.contains(QLatin1String("token")))
        refusal_ = {
            PortOpenError::TokenNeeded,
            QStringLiteral("the server at %1 needs a token (--token-file)").arg(serverName_)};
    else
        refusal_ = {PortOpenError::Other,
                    QStringLiteral("the server at %1 refused: %2").arg(serverName_, said)};
}
