// Reading and writing text files: encodings, line breaks, atomic saves.

#include "files/SafeSave.h"
#include "files/TextFile.h"
#include "system/FileNames.h"
#include "text/TextBuilder.h"
#include "support/FileSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace TextFile;
using namespace TextCodec;

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

// Runs what in a child process as a user with no account and no groups;
// whether it went well.
bool asUser(uid_t uid, const std::function<bool()> &what)
{
    const pid_t child = ::fork();
    if (child == 0) {
        const bool ok = ::setgroups(0, nullptr) == 0 && ::setresgid(uid, uid, uid) == 0
            && ::setresuid(uid, uid, uid) == 0 && what();
        ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

QStringList entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
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
    void onlyRegularFilesOfAFittingSizeAreRead();
    void savingKeepsTheFilesIdentity();
    void fullDiskLeavesTheFileWhole();
    void namesAreBytes();
    void savesStreamInLittleMemory();
    void whatASaveLeavesIsTakenBack();
    void otherUsersCanNeitherReadNorReceiveNorBlock();
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

    // Where editing left a CR break right before the LF of an empty line,
    // that LF is written as CRLF: read back, the lines are the same.
    TextStore edited = store(u"a\rb\n\nc");
    edited.remove(2, 1);
    const QByteArray bytes = encode(edited, Format());
    QCOMPARE(bytes, QByteArray("a\r\r\n\nc\n"));
    QCOMPARE(decode(bytes, nullptr).text(), edited.text() + u'\n'); // and the line end a save adds

    // Half a surrogate pair is a U+FFFD where it stands, at a line's end or
    // the text's; a pair the store's gap parts is whole.
    const QString lone = QStringLiteral("a") + QChar(0xD83D) + QStringLiteral("\nb") + QChar(0xDE00) + u'x'
        + QChar(0xD83D);
    QCOMPARE(encode(store(lone), Format()), QByteArray("a\xEF\xBF\xBD\nb\xEF\xBF\xBDx\xEF\xBF\xBD\n"));
    TextStore parted = store(u"a😀b");
    parted.insert(2, u"x");
    parted.remove(2, 1); // the gap between the pair's halves
    QCOMPARE(encode(parted, Format()), QByteArray("a\xF0\x9F\x98\x80" "b\n"));
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
    QCOMPARE(error, QStringLiteral("No such file or directory")); // the system's own reason
    QVERIFY(!write(dir.path(), "x", &error));

    // No temporary file is left behind.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("note.txt")});
}

void tst_TextFile::onlyRegularFilesOfAFittingSizeAreRead()
{
    QTemporaryDir dir;
    // A FIFO without a writer would block for ever; a device never ends.
    const QString fifo = dir.filePath(QStringLiteral("pipe"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const ReadResult pipe = read(fifo);
    QVERIFY(!pipe.ok);
    QVERIFY2(pipe.error.contains(QStringLiteral("named pipe")), qPrintable(pipe.error));
    for (const char *device : {"/dev/zero", "/dev/urandom"}) {
        const ReadResult endless = read(QString::fromLatin1(device));
        QVERIFY(!endless.ok);
        QVERIFY2(endless.error.contains(QStringLiteral("device")), qPrintable(endless.error));
    }

    // Too large is said before anything is read.
    const QString path = dir.filePath(QStringLiteral("big.txt"));
    support::writeFile(path, QByteArray(4096, 'x'));
    setSizeLimit(1000);
    const ReadResult big = read(path);
    setSizeLimit(0);
    QVERIFY(!big.ok);
    QVERIFY2(big.error.contains(QStringLiteral("too large")), qPrintable(big.error));

    // A read can be stopped; then it has nothing.
    ReadControl control;
    control.cancel = true;
    const ReadResult stopped = read(path, &control);
    QVERIFY(stopped.cancelled);
    QVERIFY(!stopped.ok);
}

void tst_TextFile::savingKeepsTheFilesIdentity()
{
    QTemporaryDir dir;
    QString error;
    auto inode = [](const QString &path) {
        struct stat s{};
        ::stat(QFile::encodeName(path).constData(), &s);
        return s;
    };
    // Every name of a file with hard links sees the new text: it stays one file.
    const QString a = dir.filePath(QStringLiteral("a.txt"));
    const QString b = dir.filePath(QStringLiteral("b.txt"));
    support::writeFile(a, "old text");
    QCOMPARE(::link(QFile::encodeName(a).constData(), QFile::encodeName(b).constData()), 0);
    QVERIFY2(write(a, "new, longer text", &error), qPrintable(error));
    QCOMPARE(support::readFile(b), QByteArray("new, longer text"));
    QVERIFY2(write(b, "short", &error), qPrintable(error));
    QCOMPARE(support::readFile(a), QByteArray("short"));
    QCOMPARE(inode(a).st_ino, inode(b).st_ino);
    QCOMPARE(int(inode(a).st_nlink), 2);

    // A symbolic link is written through.
    const QString link = dir.filePath(QStringLiteral("link.txt"));
    QVERIFY(QFile::link(a, link));
    QVERIFY2(write(link, "through the link", &error), qPrintable(error));
    QCOMPARE(support::readFile(b), QByteArray("through the link"));
    QVERIFY(QFileInfo(link).isSymLink());

    // A new file takes the usual mode; a replaced one keeps its own, and its
    // owner and group (here the user "nobody"'s, where the test may set them).
    const QString fresh = dir.filePath(QStringLiteral("fresh.txt"));
    QVERIFY(write(fresh, "x", &error));
    const mode_t mask = ::umask(0);
    ::umask(mask);
    QCOMPARE(inode(fresh).st_mode & 0777, 0666 & ~mask);
    const QString owned = dir.filePath(QStringLiteral("owned.txt"));
    support::writeFile(owned, "x");
    ::chmod(QFile::encodeName(owned).constData(), 0640);
    const bool root = ::geteuid() == 0;
    if (root)
        QCOMPARE(::chown(QFile::encodeName(owned).constData(), 65534, 65534), 0);
    QVERIFY2(write(owned, "saved by another user", &error), qPrintable(error));
    QCOMPARE(support::readFile(owned), QByteArray("saved by another user"));
    QCOMPARE(inode(owned).st_mode & 07777, mode_t(0640));
    if (root) {
        QCOMPARE(inode(owned).st_uid, uid_t(65534));
        QCOMPARE(inode(owned).st_gid, gid_t(65534));
    }
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 5); // nothing left over
}

void tst_TextFile::fullDiskLeavesTheFileWhole()
{
    QTemporaryDir dir;
    // A small file system of its own, where the machine allows one.
    const QString disk = dir.filePath(QStringLiteral("disk"));
    QVERIFY(QDir().mkpath(disk));
    if (::geteuid() != 0
        || QProcess::execute(QStringLiteral("mount"), {"-t", "tmpfs", "-o", "size=64k", "tmpfs", disk}) != 0)
        QSKIP("a small file system cannot be mounted here (it needs root)");
    struct Unmount
    {
        QString at;
        ~Unmount() { QProcess::execute(QStringLiteral("umount"), {at}); }
    } unmount{disk};

    const QString note = disk + QStringLiteral("/note.txt");
    const QString other = disk + QStringLiteral("/other name.txt");
    support::writeFile(note, "precious");
    const QByteArray tooMuch(200 * 1024, 'x');
    QString error;
    QVERIFY(!write(note, tooMuch, &error));
    QCOMPARE(error, QStringLiteral("No space left on device"));
    QCOMPARE(support::readFile(note), QByteArray("precious"));

    // Written in place (a second name), the same.
    QCOMPARE(::link(QFile::encodeName(note).constData(), QFile::encodeName(other).constData()), 0);
    QVERIFY(!write(other, tooMuch, &error));
    QCOMPARE(error, QStringLiteral("No space left on device"));
    QCOMPARE(support::readFile(note), QByteArray("precious"));
    QCOMPARE(QDir(disk).entryList(QDir::Files | QDir::Hidden).size(), 2);

    // Read-only, the file is found unwritable before anything is written elsewhere.
    QCOMPARE(QProcess::execute(QStringLiteral("mount"), {"-o", "remount,ro", disk}), 0);
    QVERIFY(!write(other, "x", &error));
    QCOMPARE(error, QStringLiteral("Read-only file system"));
}

void tst_TextFile::namesAreBytes()
{
    QTemporaryDir dir;
    const QByteArray folder = QFile::encodeName(dir.path());
    const QByteArray raw = folder + "/bad-\xff\xfe-x.txt";
    const int fd = ::open(raw.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    QVERIFY(fd >= 0);
    QCOMPARE(::write(fd, "kept", 4), ssize_t(4));
    ::close(fd);

    // Held without loss, shown as well as it can be.
    const QString name = FileNames::decode(raw);
    QCOMPARE(FileNames::encode(name), raw);
    QCOMPARE(FileNames::display(name), dir.path() + QString::fromUtf8("/bad-\uFFFD\uFFFD-x.txt"));
    for (const QByteArray &bytes : {QByteArray("plain"), QByteArray("caf\xC3\xA9 \xF0\x9F\x98\x80"),
                                    QByteArray("\xC0\xAF\xED\xB2\x80\xF4\x90\x80\x80\xC3")})
        QCOMPARE(FileNames::encode(FileNames::decode(bytes)), bytes);

    // Read and written by its bytes.
    const ReadResult read = TextFile::read(name);
    QVERIFY2(read.ok, qPrintable(read.error));
    QCOMPARE(read.text.text(), QStringLiteral("kept"));
    QString error;
    QVERIFY2(write(name, "saved", &error), qPrintable(error));
    QCOMPARE(support::readFile(QFile::decodeName(raw)), QByteArray("<missing>")); // Qt's own decoding finds no such file
    QFile byBytes;
    const int again = ::open(raw.constData(), O_RDONLY);
    QVERIFY(byBytes.open(again, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle));
    QCOMPARE(byBytes.readAll(), QByteArray("saved"));

    // A file dialog hands back Qt's decoding of the name: the file is found.
    QCOMPARE(FileNames::fromDialog(QFile::decodeName(raw)), name);
    ::unlink(raw.constData()); // QTemporaryDir removes by Qt's own decoding of names, which loses these bytes
    QCOMPARE(FileNames::fromDialog(dir.filePath(QStringLiteral("new.txt"))), dir.filePath(QStringLiteral("new.txt")));
}

void tst_TextFile::savesStreamInLittleMemory()
{
    // Some 40 MB of text, saved while the process may take only a few
    // megabytes more than it holds: the save must never hold the encoded
    // text whole.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("large.txt"));
    TextBuilder builder;
    const QString line = QStringLiteral("a line of text, caf\u00E9 \u20AC, in a large note\r\n");
    for (int i = 0; i < 800000; ++i)
        builder.append(line);
    const TextStore text = builder.take();
    Format format;
    format.lineBreak = LineBreak::CRLF;

    QString error;
    Format used;
    bool saved = false;
    const QString twin = dir.filePath(QStringLiteral("twin.txt"));
    {
        support::AddressSpaceLimit limit(24 << 20);
        QVERIFY(limit.active());
        saved = save(path, text, format, &used, &error);
        // Onto a file with a second name, written in place: the old text is
        // kept beside it on the disk, not in memory.
        saved = saved && ::link(QFile::encodeName(path).constData(), QFile::encodeName(twin).constData()) == 0
            && save(twin, text, format, &used, &error);
    }
    QVERIFY2(saved, qPrintable(error));
    QVERIFY(::unlink(QFile::encodeName(twin).constData()) == 0);
    const QByteArray bytes = support::readFile(path);
    QCOMPARE(bytes.size(), qsizetype(800000) * line.toUtf8().size());
    QVERIFY(bytes.startsWith(line.toUtf8()) && bytes.endsWith(line.toUtf8()));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("large.txt")});
}

void tst_TextFile::whatASaveLeavesIsTakenBack()
{
    QTemporaryDir dir;
    QString error;
    // What a save killed half way leaves beside the file goes with the next
    // save of the file, for a file with one name and for one with two.
    const QString one = dir.filePath(QStringLiteral("one.txt"));
    const QString two = dir.filePath(QStringLiteral("two.txt"));
    const QString twin = dir.filePath(QStringLiteral("twin.txt"));
    support::writeFile(one, "old");
    support::writeFile(two, "old");
    QCOMPARE(::link(QFile::encodeName(two).constData(), QFile::encodeName(twin).constData()), 0);
    for (const QString &name : {one, two}) {
        const QString stem = QFileInfo(name).fileName();
        support::writeFile(dir.filePath(u'.' + stem + QStringLiteral(".quillpad-save")), "half of a new text");
        support::writeFile(dir.filePath(u'.' + stem + QStringLiteral(".quillpad-old")), "old");
        QVERIFY2(write(name, "new", &error), qPrintable(error));
        QCOMPARE(support::readFile(name), QByteArray("new"));
    }
    QCOMPARE(support::readFile(twin), QByteArray("new"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             (QStringList{"one.txt", "twin.txt", "two.txt"}));

    // Leftovers of this user's own go, but one a running save holds stays;
    // and while a save of the file is under way, a second one waits its turn.
    const QString stale = dir.filePath(QStringLiteral(".one.txt.quillpad-partial-AbCdEf012345"));
    const QString held = dir.filePath(QStringLiteral(".one.txt.quillpad-save-ZyXwVu987654"));
    support::writeFile(stale, "half");
    support::writeFile(held, "whole");
    const int holder = ::open(QFile::encodeName(held).constData(), O_RDONLY);
    QCOMPARE(::flock(holder, LOCK_EX), 0);
    QSemaphore started;
    QSemaphore goOn;
    bool first = false;
    QThread *saving = QThread::create([&] {
        first = SafeSave::write(one, [&](const SafeSave::Put &put) {
            started.release();
            goOn.acquire();
            return put("first", 5);
        }, &error);
    });
    saving->start();
    started.acquire();
    QString second;
    QVERIFY(!write(one, "second", &second));
    QCOMPARE(second, qt_error_string(EALREADY));
    goOn.release();
    saving->wait();
    delete saving;
    QVERIFY2(first, qPrintable(error));
    QCOMPARE(support::readFile(one), QByteArray("first"));
    QVERIFY(!QFile::exists(stale));
    QVERIFY(QFile::exists(held));
    ::close(holder);
    QVERIFY2(write(one, "second", &error), qPrintable(error));
    QVERIFY(!QFile::exists(held));

    // The system's own reason, whatever it is.
    const QString tooLong = dir.path() + u'/' + QString(5000, u'n') + QStringLiteral(".txt");
    QVERIFY(!write(tooLong, "x", &error));
    QCOMPARE(error, QStringLiteral("File name too long"));
    QVERIFY(!write(dir.filePath(QStringLiteral("one.txt/inside")), "x", &error));
    QCOMPARE(error, QStringLiteral("Not a directory"));
}

void tst_TextFile::otherUsersCanNeitherReadNorReceiveNorBlock()
{
    if (::geteuid() != 0)
        QSKIP("this needs root, to save as one user while another watches: run the tests as root to include it");
    constexpr uid_t Other = 64001;
    constexpr uid_t Saver = 64002;
    QTemporaryDir dir;
    QCOMPARE(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    auto folder = [&](const char *name, mode_t mode) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        QDir().mkdir(path);
        ::chmod(QFile::encodeName(path).constData(), mode);
        return path;
    };
    auto own = [](const QString &path, uid_t uid) { return ::chown(QFile::encodeName(path).constData(), uid, uid) == 0; };
    auto plant = [](const QString &path) { // a file of the other user's own
        return [path] { QFile f(path); return f.open(QIODevice::WriteOnly) && f.write("planted") == 7; };
    };
    const QString shared = folder("shared", 01777);
    QString error;

    // What is written beside a private file is the saver's alone from its
    // first byte: the other user cannot open it while the text is written.
    const QString diary = shared + QStringLiteral("/diary.txt");
    support::writeFile(diary, "old");
    ::chmod(QFile::encodeName(diary).constData(), 0600);
    QStringList seen;
    bool otherRead = false;
    QVERIFY2(SafeSave::write(diary, [&](const SafeSave::Put &put) {
        if (!put("dear diary, ", 12))
            return false;
        for (const QString &name : entries(shared)) {
            if (!name.startsWith(QLatin1String(".diary.txt.quillpad-")))
                continue;
            seen << name;
            const QByteArray side = QFile::encodeName(shared + u'/' + name);
            struct stat status{};
            otherRead = otherRead || ::stat(side.constData(), &status) != 0 || (status.st_mode & 077) != 0
                || asUser(Other, [side] { return ::open(side.constData(), O_RDONLY) >= 0; });
        }
        return put("a secret", 8);
    }, &error), qPrintable(error));
    QCOMPARE(seen.size(), 1);
    QVERIFY(!otherRead);
    QCOMPARE(support::readFile(diary), QByteArray("dear diary, a secret"));
    struct stat status{};
    QCOMPARE(::stat(QFile::encodeName(diary).constData(), &status), 0);
    QCOMPARE(status.st_mode & 07777, mode_t(0600));

    // Names the other user made beside a file with two names (where it is
    // written in place) receive nothing of it and block nothing.
    const QString note = shared + QStringLiteral("/note.txt");
    const QString twin = shared + QStringLiteral("/twin.txt");
    support::writeFile(note, "the old text");
    QCOMPARE(::link(QFile::encodeName(note).constData(), QFile::encodeName(twin).constData()), 0);
    QVERIFY(own(note, Saver));
    const QString trap = shared + QStringLiteral("/trap");
    QVERIFY(asUser(Other, [&] {
        return plant(trap)() && plant(shared + QStringLiteral("/.note.txt.quillpad-save"))()
            && ::link(QFile::encodeName(trap).constData(),
                      QFile::encodeName(shared + QStringLiteral("/.note.txt.quillpad-old")).constData()) == 0;
    }));
    QVERIFY(asUser(Saver, [&] { return write(note, "the new text", &error); }));
    QCOMPARE(support::readFile(twin), QByteArray("the new text"));
    for (const char *name : {"trap", ".note.txt.quillpad-save", ".note.txt.quillpad-old"})
        QCOMPARE(support::readFile(shared + u'/' + QLatin1String(name)), QByteArray("planted"));

    // Where the file's folder takes no new files, what is kept goes to the
    // saver's own state folder, whatever the other user made in the shared
    // temporary folder; and it goes with the save.
    const QString closed = folder("closed", 0755);
    const QString tmp = folder("tmp", 01777);
    const QString state = folder("state", 0700);
    QVERIFY(own(state, Saver));
    const QString kept = closed + QStringLiteral("/kept.txt");
    support::writeFile(kept, "the old text");
    QVERIFY(own(kept, Saver));
    QVERIFY(asUser(Other, [&] {
        return plant(tmp + QStringLiteral("/.kept.txt.quillpad-save"))()
            && plant(tmp + QStringLiteral("/.kept.txt.quillpad-old"))();
    }));
    QVERIFY(asUser(Saver, [&] {
        qputenv("TMPDIR", QFile::encodeName(tmp));
        qputenv("XDG_STATE_HOME", QFile::encodeName(state));
        qunsetenv("XDG_RUNTIME_DIR");
        return write(kept, "the new text", &error);
    }));
    QCOMPARE(support::readFile(kept), QByteArray("the new text"));
    QCOMPARE(entries(tmp), (QStringList{".kept.txt.quillpad-old", ".kept.txt.quillpad-save"}));
    QCOMPARE(support::readFile(tmp + QStringLiteral("/.kept.txt.quillpad-old")), QByteArray("planted"));
    QCOMPARE(QDir(state + QStringLiteral("/quillpad")).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList());

    // A link the other user planted in a sticky folder that all may write is
    // not followed for root (as the kernel would not follow it, with
    // fs.protected_symlinks set); root's own link there still saves to the file.
    QFile sysctl(QStringLiteral("/proc/sys/fs/protected_symlinks"));
    if (!sysctl.open(QIODevice::ReadWrite))
        QSKIP("fs.protected_symlinks cannot be set here: the links planted by others are not tried");
    const QByteArray before = sysctl.readAll();
    struct Restore
    {
        QFile &file;
        QByteArray value;
        ~Restore() { file.seek(0), file.write(value), file.flush(); }
    } restore{sysctl, before};
    sysctl.seek(0);
    QVERIFY(sysctl.write("1\n") == 2 && sysctl.flush());
    const QString secret = dir.filePath(QStringLiteral("secret.txt"));
    support::writeFile(secret, "root's own");
    const QByteArray target = QFile::encodeName(secret);
    const QString planted = shared + QStringLiteral("/planted link");
    QVERIFY(asUser(Other, [&] { return ::symlink(target.constData(), QFile::encodeName(planted).constData()) == 0; }));
    QVERIFY(!write(planted, "overwritten", &error));
    QCOMPARE(error, qt_error_string(EACCES));
    QCOMPARE(support::readFile(secret), QByteArray("root's own"));
    const QString ownLink = shared + QStringLiteral("/own link");
    QVERIFY(QFile::link(secret, ownLink));
    QVERIFY2(write(ownLink, "saved through my own link", &error), qPrintable(error));
    QCOMPARE(support::readFile(secret), QByteArray("saved through my own link"));
    QVERIFY(QFileInfo(ownLink).isSymLink());
}

QTEST_MAIN(tst_TextFile)
#include "tst_textfile.moc"
