#pragma once
// File names as the system has them: bytes, which need not be UTF-8. A name
// is held in a QString without loss: what is UTF-8 as its characters, every
// other byte as one of U+DC80 to U+DCFF (a lone surrogate, which no UTF-8
// name can hold). encode() gives back the very bytes; display() shows such a
// byte as U+FFFD, for people to read.

#include <QByteArray>
#include <QString>

namespace FileNames {

QString decode(const QByteArray &bytes);
QByteArray encode(const QString &name);
QString display(const QString &name);

// A name as a file dialog gives it back, which decodes names on its own and
// loses bytes that are not UTF-8: the name of the file it stands for, found
// folder by folder among the names there; the name itself where nothing
// else fits.
QString fromDialog(const QString &name);

} // namespace FileNames
