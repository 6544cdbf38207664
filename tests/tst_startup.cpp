// Start-up: from the clipboard or from the file named on the command line.

#include "support/Fakes.h"
#include "support/TestSupport.h"

#include <QClipboard>
#include <QDir>
#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTime>

#include <fcntl.h>
#include <unistd.h>

#include "system/QtClipboard.h"

class tst_Startup : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { support::endProgram(); }

    void timeCaptionFormat();
    void clipboardStart_data();
    void clipboardStart();
    void clipboardHoldingOnlyAPicture();
    void clipboardThatCannotBeRead();
    void fileStart_data();
    void fileStart();
    void missingFileIsReportedOnce();
    void commandLineIsTakenWhole();
    void fiftyMegabyteFileOpens();
};

void tst_Startup::timeCaptionFormat()
{
    QCOMPARE(Module1::timeSubject(QTime(9, 41, 7)), QStringLiteral("09:41:07"));
    QCOMPARE(Module1::timeSubject(QTime(23, 5, 0)), QStringLiteral("23:05:00"));
}

void tst_Startup::clipboardStart_data()
{
    QTest::addColumn<QString>("clipboard");
    QTest::newRow("abc") << QStringLiteral("abc");
    QTest::newRow("no text") << QString();
    QTest::newRow("lines") << QStringLiteral("one\ntwo\u00A0three");
}

void tst_Startup::clipboardStart()
{
    QFETCH(QString, clipboard);
    fake::System system;
    system.clipboard.text = clipboard;
    const QTime before = QTime::currentTime();
    frm_Quillpad &frm = support::start();
    const QTime after = QTime::currentTime();

    QVERIFY(frm.isVisible());
    QCOMPARE(support::clip().Text(), clipboard);
    const QString caption = frm.windowTitle();
    QVERIFY2(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d:  CLIP$")).match(caption).hasMatch(),
             qPrintable(caption));
    const QTime taken = QTime::fromString(caption.left(8), QStringLiteral("HH:mm:ss"));
    QVERIFY(taken.isValid());
    QVERIFY(taken >= before.addMSecs(-before.msec()) && taken <= after);
    QCOMPARE(Module1::applicationTitle(), caption);
    QCOMPARE(Module1::noteFile().clip_init_dir, std::optional<QString>(QStringLiteral("\\tamsine")));
    QCOMPARE(Module1::noteFile().clip_file_name, QString());
    QVERIFY(system.messages.shown.isEmpty());
}

void tst_Startup::clipboardHoldingOnlyAPicture()
{
    // The real clipboard: a picture and no text gives an empty note.
    sys::QtClipboard real;
    fake::System system;
    sys::ScopedServices useReal(sys::Services{&real});
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::red);
    QGuiApplication::clipboard()->setImage(picture);
    frm_Quillpad &frm = support::start();
    QCOMPARE(support::clip().Text(), QString());
    QVERIFY(frm.windowTitle().endsWith(QStringLiteral(":  CLIP")));
    QCOMPARE(frm.windowTitle().size(), 15);
    QVERIFY(system.messages.shown.isEmpty());
}

void tst_Startup::clipboardThatCannotBeRead()
{
    fake::System system;
    system.clipboard.failRead = true;
    frm_Quillpad &frm = support::start();
    QCOMPARE(support::clip().Text(), QString());
    QCOMPARE(system.messages.shown.size(), 1);
    QCOMPARE(system.messages.shown.first().title, frm.windowTitle());
    QVERIFY(system.messages.shown.first().text.contains(QStringLiteral("another program")));
}

void tst_Startup::fileStart_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("line breaks") << QByteArray("first\r\nsecond\r\n\r\nlast") << QStringLiteral("first\nsecond\n\nlast");
    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("utf-8") << QByteArray("\xE2\x80\x9Cquoted\xE2\x80\x9D \xC3\xA5\n")
                           << QString::fromUtf8("“quoted” å\n");
    QTest::newRow("legacy") << QByteArray("\x93quoted\x94 \xE5\xA0\n") << QString::fromUtf8("“quoted” å\u00A0\n");
}

void tst_Startup::fileStart()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a note.txt"));
    support::writeFile(path, bytes);
    fake::System system;
    system.clipboard.text = QStringLiteral("not this");

    frm_Quillpad &frm = support::start(path);
    QCOMPARE(support::clip().Text(), text);
    QCOMPARE(frm.windowTitle(), path + QStringLiteral(":  CLIP"));
    QCOMPARE(Module1::applicationTitle(), frm.windowTitle());
    QCOMPARE(Module1::noteFile().clip_file_name, path);
    QVERIFY(!Module1::noteFile().clip_init_dir.has_value());
    QVERIFY(system.messages.shown.isEmpty());
}

void tst_Startup::missingFileIsReportedOnce()
{
    fake::System system;
    QTemporaryDir dir;
    for (const QString &name : {dir.filePath(QStringLiteral("missing.txt")), dir.path(),
                                QStringLiteral("\"%1\"").arg(dir.filePath(QStringLiteral("q.txt")))}) {
        system.messages.shown.clear();
        frm_Quillpad &frm = support::start(name);
        QCOMPARE(support::clip().Text(), QString());
        QCOMPARE(frm.windowTitle(), name + QStringLiteral(":  CLIP"));
        QCOMPARE(Module1::noteFile().clip_file_name, name);
        QCOMPARE(system.messages.shown.size(), 1);
        const fake::Message &message = system.messages.shown.first();
        QVERIFY2(message.text.contains(QDir::toNativeSeparators(name)), qPrintable(message.text));
        QVERIFY(message.text.count(u'\n') >= 1); // the file, then the reason
        QCOMPARE(message.title, Module1::applicationTitle());
        QCOMPARE(message.icon, sys::MessageIcon::None);
        support::endProgram();
    }
}

void tst_Startup::commandLineIsTakenWhole()
{
    char prog[] = "quillpad", a1[] = "-style", a2[] = "my", a3[] = "file.txt";
    char *argv[] = {prog, a1, a2, a3, nullptr};
    QCOMPARE(Module1::commandLineFrom(4, argv), QStringLiteral("-style my file.txt"));
    QCOMPARE(Module1::commandLineFrom(1, argv), QString());

    // A file named like a toolkit option is a file.
    QTemporaryDir dir;
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    support::writeFile(QStringLiteral("-platform"), "dashed");
    fake::System system;
    frm_Quillpad &frm = support::start(QStringLiteral("-platform"));
    QCOMPARE(support::clip().Text(), QStringLiteral("dashed"));
    QCOMPARE(frm.windowTitle(), QStringLiteral("-platform:  CLIP"));
    support::endProgram();

    // A name whose bytes are not UTF-8 opens by its bytes; the caption shows
    // it as well as it can.
    char bad[] = "bad-\xff\xfe-x.txt";
    char *badArgv[] = {prog, bad, nullptr};
    const int fd = ::open(bad, O_WRONLY | O_CREAT | O_EXCL, 0644);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, "by its bytes", 12), ssize_t(12));
    ::close(fd);
    frm_Quillpad &named = support::start(Module1::commandLineFrom(2, badArgv));
    QVERIFY(system.messages.shown.isEmpty());
    QCOMPARE(support::clip().Text(), QStringLiteral("by its bytes"));
    QCOMPARE(named.windowTitle(), QString::fromUtf8("bad-\uFFFD\uFFFD-x.txt:  CLIP"));
    ::unlink(bad); // QTemporaryDir removes by Qt's own decoding of names, which loses these bytes
    QDir::setCurrent(previous);
}

void tst_Startup::fiftyMegabyteFileOpens()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("big.txt"));
    QByteArray line("The quick brown fox jumps over the lazy dog, line after line.\r\n");
    QByteArray bytes;
    bytes.reserve(50 * 1024 * 1024 + line.size());
    while (bytes.size() < 50 * 1024 * 1024)
        bytes += line;
    support::writeFile(path, bytes);
    fake::System system;
    support::start(path);
    QVERIFY(system.messages.shown.isEmpty());
    QCOMPARE(support::clip().length(), int(bytes.size() - bytes.count("\r\n")));
}

QTEST_MAIN(tst_Startup)
#include "tst_startup.moc"
