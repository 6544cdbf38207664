// Reading and writing text files: encodings, line breaks, atomic saves.

#include "files/TextFile.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace TextFile;

namespace {

// The text with each break written as it was read.
QString exactText(const TextStore &store)
{
    QString out;
    for (int line = 0; line < store.lineCount(); ++line) {
        out += store.text(store.lineStart(line), store.lineLength(line));
        out += QString::fromLatin1(lineBreakCharacters(store.lineBreak(line)));
    }
    return out;
}

QString decoded(const QByteArray &bytes, Format *format)
{
    return exactText(decode(bytes, format));
}

TextStore store(QStringView text)
{
    TextStore s;
    s.assign(text);
    return s;
}

} // namespace

class tst_TextFile : public QObject
{
    Q_OBJECT

private slots:
    void detectsEncodingAndLineBreaks_data();
    void detectsEncodingAndLineBreaks();
    void legacyBytesRoundTripExactly();
    void encodeFallsBackToUtf8ForUnmappableText();
    void utf8ByteOrderMarkIsKeptOutOfTheText();
    void readReportsWhyAFileCannotBeRead();
    void writeIsAllOrNothing();
};

void tst_TextFile::detectsEncodingAndLineBreaks_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("encoding");
    QTest::addColumn<int>("lineBreak");

    const int lf = int(LineBreak::LF), crlf = int(LineBreak::CRLF), cr = int(LineBreak::CR);
    const int utf8 = int(Encoding::Utf8), cp1252 = int(Encoding::Windows1252);
    QTest::newRow("crlf") << QByteArray("a\r\nb\r\n") << QStringLiteral("a\r\nb\r\n") << utf8 << crlf;
    QTest::newRow("lf") << QByteArray("a\nb") << QStringLiteral("a\nb") << utf8 << lf;
    QTest::newRow("cr") << QByteArray("a\rb") << QStringLiteral("a\rb") << utf8 << cr;
    QTest::newRow("none") << QByteArray("abc") << QStringLiteral("abc") << utf8 << int(platformFormat().lineBreak);
    QTest::newRow("utf8") << QByteArray("gr\xC3\xBC\xC3\x9F \xE2\x82\xAC \xF0\x9F\x98\x80")
                          << QString::fromUtf8("grüß € 😀") << utf8 << int(platformFormat().lineBreak);
    QTest::newRow("legacy") << QByteArray("caf\xE9 \x80\r\n") << QString::fromUtf8("café €\r\n") << cp1252 << crlf;
    // Encoded surrogates and overlong forms are not UTF-8.
    QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << QString::fromUtf8("í\u00A0€") << cp1252
                               << int(platformFormat().lineBreak);
    QTest::newRow("overlong") << QByteArray("\xC0\xAF") << QString::fromUtf8("À¯") << cp1252
                              << int(platformFormat().lineBreak);
}

void tst_TextFile::detectsEncodingAndLineBreaks()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QFETCH(int, encoding);
    QFETCH(int, lineBreak);
    Format format;
    QCOMPARE(decoded(bytes, &format), text);
    QCOMPARE(int(format.encoding), encoding);
    QCOMPARE(int(format.lineBreak), lineBreak);
}

void tst_TextFile::legacyBytesRoundTripExactly()
{
    // Every byte value except CR and LF, in lines ended by CRLF.
    QByteArray bytes;
    for (int b = 0; b < 256; ++b) {
        if (b == '\r' || b == '\n')
            continue;
        bytes.append(char(b));
        if (b % 32 == 31)
            bytes.append("\r\n");
    }
    Format format;
    const TextStore text = decode(bytes, &format);
    QCOMPARE(format.encoding, Encoding::Windows1252);
    QCOMPARE(format.lineBreak, LineBreak::CRLF);
    const QString exact = exactText(text);
    QCOMPARE(exact.size(), bytes.size()); // one character for every byte
    // An undefined byte stays itself; a defined one becomes its character.
    QCOMPARE(exact.at(bytes.indexOf('\x81')), QChar(0x81));
    QCOMPARE(exact.at(bytes.indexOf('\x80')), QChar(0x20AC));
    QCOMPARE(encode(text, format), bytes); // it ends with a break: nothing added
}

void tst_TextFile::encodeFallsBackToUtf8ForUnmappableText()
{
    Format legacy;
    legacy.encoding = Encoding::Windows1252;
    legacy.lineBreak = LineBreak::CRLF;
    Format used;
    QCOMPARE(encode(store(u"é\r\n€\r\n"), legacy, &used), QByteArray("\xE9\r\n\x80\r\n"));
    QCOMPARE(used.encoding, Encoding::Windows1252);

    QCOMPARE(encode(store(u"é\r\n😀"), legacy, &used), QByteArray("\xC3\xA9\r\n\xF0\x9F\x98\x80\r\n"));
    QCOMPARE(used.encoding, Encoding::Utf8);
    QCOMPARE(used.lineBreak, LineBreak::CRLF);

    // Each line keeps its own break; the line end added is the text's own.
    Format cr;
    cr.lineBreak = LineBreak::CR;
    QCOMPARE(encode(store(u"a\rb\nc\r\nd"), cr), QByteArray("a\rb\nc\r\nd\r"));
    QCOMPARE(encode(store(u""), cr), QByteArray("\r"));
}

void tst_TextFile::utf8ByteOrderMarkIsKeptOutOfTheText()
{
    Format format;
    QCOMPARE(decoded(QByteArray("\xEF\xBB\xBFhi\n"), &format), QStringLiteral("hi\n"));
    QVERIFY(format.byteOrderMark);
    QCOMPARE(encode(store(u"hi\n"), format), QByteArray("\xEF\xBB\xBFhi\n"));
    // A second mark is text.
    QCOMPARE(decoded(QByteArray("\xEF\xBB\xBF\xEF\xBB\xBFx"), &format), QString(QChar(0xFEFF)) + u'x');
}

void tst_TextFile::readReportsWhyAFileCannotBeRead()
{
    QTemporaryDir dir;
    const ReadResult missing = read(dir.filePath(QStringLiteral("nope.txt")));
    QVERIFY(!missing.ok);
    QVERIFY(!missing.error.isEmpty());

    const ReadResult folder = read(dir.path());
    QVERIFY(!folder.ok);
    QVERIFY(folder.error.contains(QStringLiteral("folder")));

    const QString empty = dir.filePath(QStringLiteral("empty.txt"));
    support::writeFile(empty, QByteArray());
    const ReadResult none = read(empty);
    QVERIFY(none.ok);
    QCOMPARE(none.text.length(), 0);
}

void tst_TextFile::writeIsAllOrNothing()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("note.txt"));
    QString error;
    QVERIFY(write(path, "first", &error));
    QCOMPARE(support::readFile(path), QByteArray("first"));
    QVERIFY(write(path, "second", &error));
    QCOMPARE(support::readFile(path), QByteArray("second"));

    // Replacing a file keeps its permissions.
    const QFileDevice::Permissions mode = QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup;
    QFile::setPermissions(path, mode);
    QVERIFY(write(path, "second", &error));
    QCOMPARE(QFile::permissions(path) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser | QFileDevice::ExeUser), mode);

    // A read-only file is left exactly as it was, even for a user who may write anyway.
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup);
    QVERIFY(!write(path, "third", &error));
    QVERIFY(error.contains(QStringLiteral("read-only")));
    QCOMPARE(support::readFile(path), QByteArray("second"));

    QVERIFY(!write(dir.filePath(QStringLiteral("no/such/folder/x.txt")), "x", &error));
    QVERIFY(error.contains(QStringLiteral("does not exist")));
    QVERIFY(!write(dir.path(), "x", &error));

    // No temporary file is left behind.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("note.txt")});
}

QTEST_MAIN(tst_TextFile)
#include "tst_textfile.moc"
