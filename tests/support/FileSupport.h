#pragma once
// Helpers shared by the tests: writing a file whole and reading it back.

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTest>

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

} // namespace support
