#include "RemoteAccess.h"

#include <QFile>

namespace {
// A token is a line; anything much longer is not a token file.
constexpr qint64 kMaxTokenFileBytes = 4096;
} // namespace

std::optional<QByteArray> ReadTokenFileOption(const QString& option, QString* error)
{
    const QString path = option.isEmpty() ? qEnvironmentVariable("TAVLO_TOKEN_FILE") : option;
    if (path.isEmpty())
        return QByteArray();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read the token file %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    const QByteArray token = file.read(kMaxTokenFileBytes).split('\n').first().trimmed();
    if (token.isEmpty()) {
        *error = QStringLiteral("the token file %1 holds no token on its first line").arg(path);
        return std::nullopt;
    }
    return token;
}
