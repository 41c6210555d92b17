#include "StableNames.h"

#include <QDir>
#include <QFileInfo>

QString StableNameFor(const QString& devicePath, const QString& folder)
{
    const QString device = QFileInfo(devicePath).canonicalFilePath();
    if (device.isEmpty())
        return {};
    for (const QFileInfo& link : QDir(folder).entryInfoList(QDir::System | QDir::Files)) {
        if (link.isSymLink() && link.canonicalFilePath() == device)
            return link.absoluteFilePath();
    }
    return {};
}
