#pragma once
// CPU another process (a server under measure) has used so far, user + system, in seconds.
#include <QFile>
#include <QList>
#include <unistd.h>

inline double CpuSecondsOf(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = stat.readAll().split(')').last().split(' ');
    // After the name: state is field 1 here; utime and stime are the 12th and 13th.
    return (fields.value(12).toDouble() + fields.value(13).toDouble()) / sysconf(_SC_CLK_TCK);
}
