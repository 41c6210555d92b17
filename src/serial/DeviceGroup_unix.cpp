#include "DeviceGroup.h"

#include <QFile>

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

QString DeviceGroupName(const QString& portName)
{
    // A bare name lives in /dev, as QSerialPort reads names.
    const QString path =
        portName.contains(QLatin1Char('/')) ? portName : QStringLiteral("/dev/") + portName;
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
    const long hint = ::sysconf(_SC_GETGR_R_SIZE_MAX);
    std::vector<char> buffer(hint > 0 ? static_cast<size_t>(hint) : 4096);
    group entry{};
    group* found = nullptr;
    if (::getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return {};
    return QString::fromLocal8Bit(found->gr_name);
}
