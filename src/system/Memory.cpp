#include "Memory.h"

#include <QFile>

#include <sys/resource.h>

namespace Memory {

namespace {

// A field of a /proc file of lines "Name:  value kB", in bytes; -1 if absent.
qint64 kilobytesField(const char *path, const QByteArray &field)
{
    QFile file(QString::fromLatin1(path));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(field.size()).trimmed().split(' ').value(0).toLongLong() * 1024;
    }
    return -1;
}

// What a limit of the process leaves of itself, given what it holds now.
qint64 leftUnder(int resource, const QByteArray &usedField)
{
    rlimit limit{};
    if (::getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return -1;
    const qint64 used = kilobytesField("/proc/self/status", usedField);
    return used < 0 ? -1 : qMax<qint64>(0, qint64(limit.rlim_cur) - used);
}

} // namespace

qint64 available()
{
    qint64 left = kilobytesField("/proc/meminfo", "MemAvailable:");
    for (const qint64 limited : {leftUnder(RLIMIT_DATA, "VmData:"), leftUnder(RLIMIT_AS, "VmSize:")}) {
        if (limited >= 0)
            left = left < 0 ? limited : qMin(left, limited);
    }
    return left;
}

} // namespace Memory
