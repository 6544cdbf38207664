// Saves killed or failed at each of their file calls in turn, and replayed
// as a power cut at each point: for a file with one name, one with two
// (written in place) and one in a folder that takes no new files, with new
// texts of 0 bytes, 1 byte and a few megabytes over an old text of another
// size. The save runs in a process of its own (faults/save_driver) under a
// library that counts its calls and fails or kills one, and records what
// each did (faults/save_faults.c).

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Every line carries its offset, so that any mix of two texts shows.
QByteArray numberedText(qsizetype size, char tag)
{
    QByteArray text;
    text.reserve(size + 16);
    while (text.size() < size)
        text += tag + QByteArray::number(text.size()).rightJustified(10, '0') + '\n';
    text.truncate(size);
    return text;
}

// The hash the fault library records for a synced file (FNV-1a).
QByteArray hashOf(const QByteArray &bytes)
{
    quint64 hash = 1469598103934665603ULL;
    for (const char c : bytes)
        hash = (hash ^ quint8(c)) * 1099511628211ULL;
    return QByteArray::number(hash, 16).rightJustified(16, '0');
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

enum class Layout { OneName, TwoNames, ClosedFolder };

// What a save said.
struct Outcome
{
    bool ended = false; // not killed
    bool saved = false;
    QByteArray file;    // as-it-was, new-text or may-be-damaged
    QString oldCopy;
    QString newCopy;
    QString message;
};

// A record of a save's calls, and the disk as a power cut at any point
// between two calls leaves it: with only what was synced (data of the files
// synced; names of the folders synced), and, as ext4 orders its journal,
// with the names as they stood at any moment since the last sync.
class PowerCut
{
public:
    // A file as the disk would show it: its name, where it is and its content's hash.
    struct Found
    {
        QByteArray folder; // the root it was found under, by index: "0", "1", ...
        QByteArray name;
        QByteArray hash;   // and its mode; empty where they are not known to be on the disk
    };
    using Disk = QList<Found>;

    explicit PowerCut(const QString &tracePath)
    {
        QFile file(tracePath);
        if (file.open(QIODevice::ReadOnly)) {
            for (const QByteArray &line : file.readAll().split('\n')) {
                if (!line.isEmpty())
                    m_lines.push_back(line.split(' '));
            }
        }
        for (int i = 0; i < m_lines.size(); ++i) {
            const QList<QByteArray> &words = m_lines[i];
            if (words[0] == "R")
                m_roots << words[1];
            else if (words[0] == "C")
                m_callAt << i;
            else if (words[0] == "E")
                m_complete = true;
        }
    }

    bool complete() const { return m_complete; }
    int calls() const { return int(m_callAt.size()); }
    QByteArray kindOf(int call) const { return m_lines[m_callAt[call - 1]][2]; }
    int count(const QByteArray &kind) const
    {
        int n = 0;
        for (int call = 1; call <= calls(); ++call)
            n += kindOf(call) == kind;
        return n;
    }

    // Each text's hash, with the mode the file has.
    struct Texts
    {
        QByteArray oldHash;
        QByteArray newHash;
        QByteArray fileMode;
    };

    // What is wrong on the disk after a power cut before call `call` (one
    // past the last: after the save), in either model; empty where nothing.
    QString problemBefore(int call, const Texts &texts, const std::function<QString(const Disk &)> &check) const
    {
        const int end = call <= calls() ? int(m_callAt[call - 1]) : int(m_lines.size());
        QHash<QByteArray, QByteArray> content; // id -> hash, empty while unsynced
        QHash<QByteArray, QList<QByteArray>> durable;
        int lastSync = 0;
        for (int i = 0; i < end; ++i) {
            const QList<QByteArray> &w = m_lines[i];
            if (w[0] == "F")
                content[w[1]] = w[2] + ' ' + w[3], lastSync = i;
            else if (w[0] == "W")
                content[w[1]] = QByteArray();
            else if (w[0] == "D")
                durable[w[1]] = w.mid(2), lastSync = i;
        }
        if (const QString wrong = checkDisk(walk(durable), content, texts, check); !wrong.isEmpty())
            return QStringLiteral("strict: ") + wrong;
        // The journal keeps the order of name changes: any moment since the last sync.
        QHash<QByteArray, QList<QByteArray>> names = durable;
        for (int i = 0; i < end; ++i) {
            const QList<QByteArray> &w = m_lines[i];
            if (w[0] != "N" && w[0] != "D")
                continue;
            names[w[1]] = w.mid(2);
            if (i < lastSync)
                continue;
            if (const QString wrong = checkDisk(walk(names), content, texts, check); !wrong.isEmpty())
                return QStringLiteral("ordered, at line %1: ").arg(i + 1) + wrong;
        }
        return QString();
    }

private:
    Disk walk(const QHash<QByteArray, QList<QByteArray>> &names) const
    {
        Disk found;
        for (int root = 0; root < m_roots.size(); ++root)
            walkFolder(names, m_roots[root], QByteArray::number(root), &found);
        return found;
    }
    void walkFolder(const QHash<QByteArray, QList<QByteArray>> &names, const QByteArray &folder,
                    const QByteArray &root, Disk *found) const
    {
        for (const QByteArray &entry : names.value(folder)) {
            const qsizetype equals = entry.lastIndexOf('=');
            const QByteArray name = entry.left(equals);
            QByteArray id = entry.mid(equals + 1);
            if (id.endsWith('/'))
                walkFolder(names, id.chopped(1), root, found);
            else
                found->push_back({root, name, id});
        }
    }
    static QString checkDisk(Disk disk, const QHash<QByteArray, QByteArray> &content, const Texts &texts,
                             const std::function<QString(const Disk &)> &check)
    {
        for (Found &file : disk) {
            file.hash = content.value(file.hash);
            const bool save = file.name.contains(".quillpad-save-");
            const bool old = file.name.contains(".quillpad-old-");
            if ((save && !file.hash.startsWith(texts.newHash + ' ')) || (old && !file.hash.startsWith(texts.oldHash + ' ')))
                return QStringLiteral("%1 does not hold its whole text").arg(QString::fromUtf8(file.name));
        }
        return check(disk);
    }

    QList<QList<QByteArray>> m_lines;
    QList<QByteArray> m_roots;
    QList<qsizetype> m_callAt;
    bool m_complete = false;
};

} // namespace

class tst_SaveFaults : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void everyCallKilledOrFailedAndEveryPowerCut_data();
    void everyCallKilledOrFailedAndEveryPowerCut();

private:
    QString m_files;  // the folder of the file saved
    QString m_state;  // the user's state folder, where spare folders go
    QString m_temporary; // the temporary folder, where they go when the state folder fails
    QString m_trace;
    // On the disk the build is on (the machine's /tmp may be in memory, where
    // no spare folder is made).
    QTemporaryDir m_dir{QStringLiteral(SAVE_FAULTS_FOLDER "/tst_savefaults-XXXXXX")};
    Layout m_layout = Layout::OneName;

    QString note() const { return m_files + QStringLiteral("/note.txt"); }
    void reset(const QByteArray &oldText);
    Outcome save(const QString &newTextFile, const QString &mode, int at, int errorNumber, bool record);
    QStringList leftovers() const;
};

void tst_SaveFaults::initTestCase()
{
    QVERIFY(QFile::exists(QStringLiteral(SAVE_DRIVER)));
    QVERIFY(QFile::exists(QStringLiteral(SAVE_FAULTS_LIBRARY)));
    m_files = m_dir.filePath(QStringLiteral("files"));
    m_state = m_dir.filePath(QStringLiteral("state"));
    m_temporary = m_dir.filePath(QStringLiteral("tmp"));
    m_trace = m_dir.filePath(QStringLiteral("trace"));
    QVERIFY(m_dir.isValid());
}

void tst_SaveFaults::reset(const QByteArray &oldText)
{
    for (const QString &folder : {m_files, m_state, m_temporary}) {
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
    }
    QFile::setPermissions(m_temporary, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QFile file(note());
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(oldText) == oldText.size());
    file.close();
    // A mode of its own, which the saved file keeps on the disk.
    QCOMPARE(::chmod(QFile::encodeName(note()).constData(), 0640), 0);
    if (m_layout == Layout::TwoNames)
        QCOMPARE(::link(QFile::encodeName(note()).constData(),
                        QFile::encodeName(m_files + QStringLiteral("/twin.txt")).constData()),
                 0);
}

Outcome tst_SaveFaults::save(const QString &newTextFile, const QString &mode, int at, int errorNumber, bool record)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(SAVE_FAULTS_LIBRARY));
    env.insert(QStringLiteral("XDG_STATE_HOME"), m_state);
    env.insert(QStringLiteral("TMPDIR"), m_temporary);
    env.insert(QStringLiteral("QUILLPAD_FAULT_MODE"), mode);
    env.insert(QStringLiteral("QUILLPAD_FAULT_AT"), QString::number(at));
    env.insert(QStringLiteral("QUILLPAD_FAULT_ERRNO"), QString::number(errorNumber));
    env.insert(QStringLiteral("QUILLPAD_FAULT_NO_SYNC"), QStringLiteral("1"));
    if (m_layout == Layout::ClosedFolder)
        env.insert(QStringLiteral("QUILLPAD_FAULT_CLOSED"), m_files);
    if (record) {
        env.insert(QStringLiteral("QUILLPAD_FAULT_TRACE"), m_trace);
        env.insert(QStringLiteral("QUILLPAD_FAULT_ROOTS"), QStringList{m_files, m_state, m_temporary}.join(u':'));
    }
    QProcess driver;
    driver.setProcessEnvironment(env);
    driver.start(QStringLiteral(SAVE_DRIVER), {note(), newTextFile});
    Outcome outcome;
    if (!driver.waitForFinished(60000)) {
        driver.kill();
        driver.waitForFinished();
        return outcome;
    }
    const QStringList said = QString::fromLocal8Bit(driver.readAllStandardOutput()).split(u'\n');
    outcome.ended = driver.exitStatus() == QProcess::NormalExit && said.size() >= 5;
    if (outcome.ended) {
        outcome.saved = said[0] == QLatin1String("saved");
        outcome.file = said[1].mid(5).toLatin1();
        outcome.oldCopy = said[2].mid(4);
        outcome.newCopy = said[3].mid(4);
        outcome.message = said.mid(4).join(u'\n');
    }
    return outcome;
}

// Everything beside the file: in its folder and in the state folder.
QStringList tst_SaveFaults::leftovers() const
{
    QStringList found;
    for (const QString &folder : {m_files, m_state, m_temporary}) {
        QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            const QString name = it.fileName();
            if (name != QLatin1String("note.txt") && name != QLatin1String("twin.txt")
                && !(it.fileInfo().isDir() && name == QLatin1String("quillpad")))
                found << path;
        }
    }
    return found;
}

void tst_SaveFaults::everyCallKilledOrFailedAndEveryPowerCut_data()
{
    QTest::addColumn<int>("layout");
    QTest::addColumn<qsizetype>("newSize");
    QTest::addColumn<qsizetype>("oldSize");
    const std::pair<const char *, Layout> layouts[] = {
        {"one name", Layout::OneName}, {"two names", Layout::TwoNames}, {"closed folder", Layout::ClosedFolder}};
    for (const auto &[name, layout] : layouts) {
        QTest::addRow("%s, 0 over 1.5 MB", name) << int(layout) << qsizetype(0) << qsizetype(3 << 19);
        QTest::addRow("%s, 1 byte over 1.5 MB", name) << int(layout) << qsizetype(1) << qsizetype(3 << 19);
        QTest::addRow("%s, 2.5 MB over 1.5 MB", name) << int(layout) << qsizetype(5 << 19) << qsizetype(3 << 19);
    }
}

void tst_SaveFaults::everyCallKilledOrFailedAndEveryPowerCut()
{
    QFETCH(int, layout);
    QFETCH(qsizetype, newSize);
    QFETCH(qsizetype, oldSize);
    m_layout = Layout(layout);
    const QByteArray oldText = numberedText(oldSize, 'o');
    const QByteArray newText = numberedText(newSize, 'n');
    reset(oldText);
    const PowerCut::Texts texts{hashOf(oldText), hashOf(newText), "640"};
    // The file holding a text whole, with its own mode; a copy holding it.
    auto fileHolds = [&](const QByteArray &found, const QByteArray &hash) { return found == hash + ' ' + texts.fileMode; };
    auto copyHolds = [](const QByteArray &found, const QByteArray &hash) { return found.startsWith(hash + ' '); };
    const QString newTextFile = m_dir.filePath(QStringLiteral("new-text"));
    {
        QFile file(newTextFile);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(newText) == newText.size());
    }

    // The save as it goes when nothing fails: its calls, numbered.
    const Outcome clean = save(newTextFile, QStringLiteral("count"), 0, 0, true);
    QVERIFY2(clean.saved, qPrintable(clean.message));
    const PowerCut record(m_trace);
    QVERIFY(record.complete() && record.calls() > 5);
    if (m_layout == Layout::OneName)
        QCOMPARE(record.count("sync"), 2); // the new file, then its folder

    // Whether the disk a power cut leaves holds each text whole: the file
    // holds the old or the new one, or a copy named "old" holds the old.
    auto holdsATextWhole = [&](const PowerCut::Disk &disk) {
        QByteArray file = "<missing>";
        bool oldKept = false;
        for (const PowerCut::Found &found : disk) {
            if (found.folder == "0" && found.name == "note.txt")
                file = found.hash;
            oldKept = oldKept || (found.name.contains(".quillpad-old-") && copyHolds(found.hash, texts.oldHash));
        }
        return fileHolds(file, texts.oldHash) || fileHolds(file, texts.newHash) || oldKept
            ? QString()
            : QStringLiteral("the file holds neither text whole with its own mode, and no copy holds its old text");
    };
    // After the save: the file holds what the save said, as the disk keeps it.
    auto asReported = [&](const Outcome &outcome) {
        return [&, outcome](const PowerCut::Disk &disk) {
            QByteArray file = "<missing>";
            QByteArray oldCopy = "<missing>";
            for (const PowerCut::Found &found : disk) {
                if (found.folder == "0" && found.name == "note.txt")
                    file = found.hash;
                if (!outcome.oldCopy.isEmpty() && outcome.oldCopy.endsWith(QString::fromUtf8(u'/' + found.name)))
                    oldCopy = found.hash;
            }
            if (outcome.saved)
                return fileHolds(file, texts.newHash) ? QString() : QStringLiteral("saved, but the file is not the new text");
            if (outcome.file == "as-it-was")
                return fileHolds(file, texts.oldHash) ? QString() : QStringLiteral("said to be as it was, but is not");
            if (outcome.file == "new-text")
                return fileHolds(file, texts.oldHash) || fileHolds(file, texts.newHash) ? QString()
                                                                                        : QStringLiteral("torn");
            return copyHolds(oldCopy, texts.oldHash) ? QString()
                                                     : QStringLiteral("the copy named does not hold the old text");
        };
    };
    for (int call = 1; call <= record.calls() + 1; ++call) {
        const QString wrong = call <= record.calls() ? record.problemBefore(call, texts, holdsATextWhole)
                                                     : record.problemBefore(call, texts, asReported(clean));
        QVERIFY2(wrong.isEmpty(), qPrintable(QStringLiteral("power cut before call %1: %2").arg(call).arg(wrong)));
    }

    // Each call in turn killed; failed once (EIO, and ENOSPC for writes and
    // syncs); and every write, truncate and sync failed from it on.
    struct Fault
    {
        const char *mode;
        int errorNumber;
        bool dataCallsOnly;
    };
    const Fault faults[] = {{"kill", 0, false}, {"fail", EIO, false}, {"fail", ENOSPC, true}, {"fail-from", EIO, true}};
    int runs = 0;
    for (int call = 1; call <= record.calls(); ++call) {
        const QByteArray kind = record.kindOf(call);
        const bool dataCall = kind == "write" || kind == "truncate" || kind == "sync";
        for (const Fault &fault : faults) {
            if (fault.dataCallsOnly && !dataCall)
                continue;
            const QString what = QStringLiteral("%1 %2 at call %3 (%4)")
                                     .arg(QLatin1String(fault.mode), qt_error_string(fault.errorNumber))
                                     .arg(call)
                                     .arg(QString::fromLatin1(kind));
            reset(oldText);
            const Outcome outcome = save(newTextFile, QLatin1String(fault.mode), call, fault.errorNumber,
                                         fault.mode != QLatin1String("kill"));
            ++runs;
            const QByteArray file = readAll(note());
            if (!outcome.ended) { // killed: the file is whole, or its old text is kept whole beside it
                bool oldKept = false;
                for (const QString &left : leftovers()) {
                    const QByteArray bytes = readAll(left);
                    if (left.contains(QLatin1String(".quillpad-save-")))
                        QVERIFY2(bytes == newText, qPrintable(what + u' ' + left));
                    if (left.contains(QLatin1String(".quillpad-old-"))) {
                        QVERIFY2(bytes == oldText, qPrintable(what + u' ' + left));
                        oldKept = true;
                    }
                }
                QVERIFY2(file == oldText || file == newText || oldKept, qPrintable(what));
            } else {
                QVERIFY2(fault.mode != QLatin1String("kill"), qPrintable(what + QStringLiteral(": not killed")));
                if (outcome.saved || outcome.file == "new-text") {
                    QVERIFY2(file == newText, qPrintable(what));
                } else if (outcome.file == "as-it-was") {
                    QVERIFY2(file == oldText, qPrintable(what + QStringLiteral(": ") + outcome.message));
                } else {
                    QVERIFY2(outcome.message.contains(outcome.oldCopy) && outcome.message.contains(outcome.newCopy),
                             qPrintable(what + QStringLiteral(": ") + outcome.message));
                    QVERIFY2(readAll(outcome.oldCopy) == oldText, qPrintable(what));
                    QVERIFY2(readAll(outcome.newCopy) == newText, qPrintable(what));
                }
                if (m_layout == Layout::TwoNames)
                    QCOMPARE(readAll(m_files + QStringLiteral("/twin.txt")), file);
                // And a power cut at any point of the failed save.
                const PowerCut failed(m_trace);
                QVERIFY(failed.complete());
                for (int cut = 1; cut <= failed.calls() + 1; ++cut) {
                    const QString wrong = cut <= failed.calls() ? failed.problemBefore(cut, texts, holdsATextWhole)
                                                                : failed.problemBefore(cut, texts, asReported(outcome));
                    QVERIFY2(wrong.isEmpty(),
                             qPrintable(QStringLiteral("%1, power cut before call %2: %3").arg(what).arg(cut).arg(wrong)));
                }
            }
            // The next save goes through and takes away what this one left.
            const Outcome next = save(newTextFile, QStringLiteral("count"), 0, 0, false);
            QVERIFY2(next.saved, qPrintable(what + QStringLiteral(", then: ") + next.message));
            QVERIFY2(readAll(note()) == newText, qPrintable(what));
            QVERIFY2(leftovers().isEmpty(), qPrintable(what + QStringLiteral(" left ") + leftovers().join(u' ')));
        }
    }
    qInfo("%d calls; %d saves killed or failed, each followed by one that went through", record.calls(), runs);
}

QTEST_GUILESS_MAIN(tst_SaveFaults)
#include "tst_savefaults.moc"
