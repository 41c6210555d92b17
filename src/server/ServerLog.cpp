#include "ServerLog.h"

#include <QTime>
#include <cstdio>

void ServerLog(const QString& line)
{
    const QByteArray text =
        (QTime::currentTime().toString(QStringLiteral("HH:mm:ss.zzz ")) + line + '\n').toUtf8();
    std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stderr);
    std::fflush(stderr);
}
