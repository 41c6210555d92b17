#include "RemoteAccess.h"

#include <QFile>

namespace {
// The longest token a client can send: the raw endpoint's token line is bounded like a command.
constexpr qint64 kMaxTokenBytes = 64 * 1024;
} // namespace

std::optional<QByteArray> ReadTokenFile(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read the token file %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    const QByteArray whole = file.read(kMaxTokenBytes + 1);
    if (whole.size() > kMaxTokenBytes) {
        *error = QStringLiteral("the token file %1 holds more than %2 bytes; a token must be shorter")
                     .arg(path)
                     .arg(kMaxTokenBytes);
        return std::nullopt;
    }
    const QByteArray token = whole.trimmed();
    if (token.isEmpty() || token.contains('\n')) {
        *error = QStringLiteral("the token file %1 must hold one non-empty line").arg(path);
        return std::nullopt;
    }
    return token;
}

std::optional<QByteArray> ReadTokenFileOption(const QString& option, QString* error)
{
    const QString path = option.isEmpty() ? qEnvironmentVariable("TAVLO_TOKEN_FILE") : option;
    if (path.isEmpty())
        return QByteArray();
    return ReadTokenFile(path, error);
}
