#include "TextFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

#include <array>

namespace TextFile {

namespace {

// Windows-1252 from 0x80 to 0x9F. The five bytes the code page leaves
// undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 control characters
// of the same value, so every byte survives a round trip.
constexpr std::array<char16_t, 32> Cp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

constexpr char Utf8Bom[] = "\xEF\xBB\xBF";

QString tr(const char *text)
{
    return QCoreApplication::translate("TextFile", text);
}

LineBreak detectLineBreak(const QByteArray &bytes)
{
    const char *data = bytes.constData();
    const qsizetype size = bytes.size();
    for (qsizetype i = 0; i < size; ++i) {
        if (data[i] == '\n')
            return LineBreak::LF;
        if (data[i] == '\r')
            return (i + 1 < size && data[i + 1] == '\n') ? LineBreak::CRLF : LineBreak::CR;
    }
    return platformFormat().lineBreak;
}

QString decodeCp1252(QByteArrayView bytes)
{
    QString text(bytes.size(), Qt::Uninitialized);
    char16_t *out = reinterpret_cast<char16_t *>(text.data());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        *out++ = (b >= 0x80 && b < 0xA0) ? Cp1252High[b - 0x80] : char16_t(b);
    }
    return text;
}

int cp1252Byte(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return c;
    for (size_t i = 0; i < Cp1252High.size(); ++i) {
        if (Cp1252High[i] == c)
            return int(0x80 + i);
    }
    return -1;
}

// Encodes to Windows-1252, or returns false when some character has no byte.
bool encodeCp1252(QStringView text, const QByteArray &lineBreak, QByteArray *out)
{
    out->clear();
    out->reserve(text.size() + 2);
    for (const QChar qc : text) {
        const char16_t c = qc.unicode();
        if (c == u'\n') {
            out->append(lineBreak);
            continue;
        }
        const int b = cp1252Byte(c);
        if (b < 0)
            return false;
        out->append(char(b));
    }
    return true;
}

} // namespace

Format platformFormat()
{
    Format format;
#ifdef Q_OS_WIN
    format.lineBreak = LineBreak::CRLF;
#else
    format.lineBreak = LineBreak::LF;
#endif
    return format;
}

QByteArray lineBreakBytes(LineBreak lineBreak)
{
    switch (lineBreak) {
    case LineBreak::CRLF: return QByteArrayLiteral("\r\n");
    case LineBreak::CR: return QByteArrayLiteral("\r");
    case LineBreak::LF: break;
    }
    return QByteArrayLiteral("\n");
}

QString decode(const QByteArray &bytes, Format *format)
{
    Format found;
    found.lineBreak = detectLineBreak(bytes);

    QByteArrayView body(bytes);
    if (body.startsWith(QByteArrayView(Utf8Bom))) {
        found.byteOrderMark = true;
        body = body.sliced(3);
    }
    // A second mark after the first is text, not a mark.
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = utf8.decode(body);
    if (utf8.hasError()) {
        found.encoding = Encoding::Windows1252;
        found.byteOrderMark = false;
        text = decodeCp1252(bytes);
    } else {
        found.encoding = Encoding::Utf8;
    }
    if (format)
        *format = found;
    return text;
}

QByteArray encode(QStringView text, const Format &format, Format *used)
{
    const QByteArray lineBreak = lineBreakBytes(format.lineBreak);
    Format actual = format;
    QByteArray bytes;
    if (format.encoding == Encoding::Windows1252) {
        if (encodeCp1252(text, lineBreak, &bytes)) {
            if (used)
                *used = actual;
            return bytes;
        }
        // A character the legacy code page cannot hold: keep it, in UTF-8.
        actual.encoding = Encoding::Utf8;
        actual.byteOrderMark = false;
        bytes.clear();
    }
    if (actual.byteOrderMark)
        bytes = QByteArray(Utf8Bom);
    if (format.lineBreak == LineBreak::LF) {
        bytes += text.toUtf8();
    } else {
        QString withBreaks = text.toString();
        withBreaks.replace(u'\n', QString::fromLatin1(lineBreak));
        bytes += withBreaks.toUtf8();
    }
    if (used)
        *used = actual;
    return bytes;
}

ReadResult read(const QString &path)
{
    ReadResult result;
    const QFileInfo info(path);
    if (info.isDir()) {
        result.error = tr("It is a folder, not a file.");
        return result;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = file.errorString();
        return result;
    }
    QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        result.error = file.errorString();
        return result;
    }
    file.close();
    result.text = decode(bytes, &result.format);
    result.ok = true;
    return result;
}

QString readFailureMessage(const QString &path, const QString &reason)
{
    return tr("Could not open \"%1\":\n%2").arg(QDir::toNativeSeparators(path), reason);
}

QString writeFailureMessage(const QString &path, const QString &reason)
{
    return tr("Could not save \"%1\":\n%2").arg(QDir::toNativeSeparators(path), reason);
}

bool write(const QString &path, const QByteArray &bytes, QString *error)
{
    auto fail = [error](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    const QFileInfo info(path);
    if (info.isDir())
        return fail(tr("It is a folder, not a file."));
    if (!info.dir().exists())
        return fail(tr("The folder \"%1\" does not exist.")
                        .arg(QDir::toNativeSeparators(info.absolutePath())));
    // The owner's write bit is what marks a file read-only; honour it even for
    // a user the system would let write anyway.
    if (info.exists() && !(info.permissions() & QFileDevice::WriteOwner))
        return fail(tr("The file is read-only."));

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    if (file.write(bytes) != bytes.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return fail(why);
    }
    if (!file.commit())
        return fail(file.errorString());
    return true;
}

} // namespace TextFile
