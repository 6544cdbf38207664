#pragma once
// Helpers shared by the tests: writing a file whole and reading it back,
// and a process short of memory.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTest>

#include <sys/resource.h>

namespace support {

inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write(bytes);
}

inline QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return file.readAll();
}

// While it lives, the process may take only `more` bytes of address space
// beyond what it holds now, as under ulimit -v.
class AddressSpaceLimit
{
public:
    explicit AddressSpaceLimit(qint64 more)
    {
        QFile status(QStringLiteral("/proc/self/status"));
        qint64 size = 0;
        if (status.open(QIODevice::ReadOnly)) {
            for (const QByteArray &field : status.readAll().split('\n')) {
                if (field.startsWith("VmSize:"))
                    size = field.mid(7).trimmed().split(' ').value(0).toLongLong() * 1024;
            }
        }
        if (size <= 0 || ::getrlimit(RLIMIT_AS, &m_saved) != 0)
            return;
        rlimit limited = m_saved;
        limited.rlim_cur = rlim_t(size + more);
        m_active = ::setrlimit(RLIMIT_AS, &limited) == 0;
    }
    ~AddressSpaceLimit()
    {
        if (m_active)
            ::setrlimit(RLIMIT_AS, &m_saved);
    }
    AddressSpaceLimit(const AddressSpaceLimit &) = delete;
    AddressSpaceLimit &operator=(const AddressSpaceLimit &) = delete;
    bool active() const { return m_active; }

private:
    rlimit m_saved{};
    bool m_active = false;
};

} // namespace support
