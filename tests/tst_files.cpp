// File > Open and File > Save As..., and the common-dialog component.

#include "files/CommonDialog.h"
#include "app/FileCommands.h"
#include "files/ReadWithProgress.h"
#include "files/TextFile.h"
#include "support/Fakes.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>

#include <functional>
#include <memory>

#include "system/QtFileDialogs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using Kind = sys::FileDialogRequest::Kind;

namespace {

// Acts on the real file dialog as soon as it is up; closes whatever is open
// after 5 s, so that the test can never hang.
void whenFileDialogShows(QTimer &poll, std::function<void(QFileDialog *)> act)
{
    auto waited = std::make_shared<int>(0);
    QObject::connect(&poll, &QTimer::timeout, &poll, [&poll, waited, act = std::move(act)] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) {
            if (++*waited > 500 && QApplication::activeModalWidget())
                QApplication::activeModalWidget()->close();
            return;
        }
        poll.stop();
        act(dialog);
    });
    poll.start(10);
}

// A file's worth of lines that takes the reading several pieces.
QByteArray eightMegabytes()
{
    QByteArray bytes;
    while (bytes.size() < 8 * 1024 * 1024)
        bytes += "a line of the eight megabytes\n";
    return bytes;
}

} // namespace

class tst_Files : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { support::endProgram(); }

    void commonDialogTranslatesItsSettings();
    void qtFileDialogHonoursTheRequest();
    void qtFileDialogOffersTheNameThatFailed();
    void openAfterClipboardStart();
    void openAfterCommandLineStartAndSettingsPersist();
    void cancelChangesNothing();
    void unreadableFileIsReportedOnce();
    void saveWritesTheTextAndItsLineEnd();
    void saveRoundTrips_data();
    void saveRoundTrips();
    void failedSaveLeavesTheFileAndSaysWhy();
    void fiftyMegabytesOpenAndSaveBack();
    void randomBytesComeBackExactly();
    void slowReadShowsProgressAndCancelKeepsTheNote();
    void partOfAFileIsNeverTakenForTheWhole();
    void whatCannotBeReadIsRefusedAtOnce();
    void exitNeverWaitsForAReadThatHangs();

private:
    frm_Quillpad &openFile(fake::System &system, const QString &path);
};

frm_Quillpad &tst_Files::openFile(fake::System &system, const QString &path)
{
    frm_Quillpad &frm = *Module1::mainWindow();
    system.fileDialogs.answers.push_back(path);
    frm.action(QStringLiteral("open_it"))->trigger();
    return frm;
}

void tst_Files::commonDialogTranslatesItsSettings()
{
    QWidget owner;
    CommonDialog dialog(&owner);
    dialog.setDialogTitle(QStringLiteral("T"));
    dialog.setFilter(QString::fromLatin1(FileCommands::TextFilter));
    dialog.setFilterIndex(2);
    dialog.setFlags(4096);
    dialog.setFileName(QStringLiteral("x.txt"));

    sys::FileDialogRequest r = dialog.request(Kind::Open);
    QCOMPARE(r.title, QStringLiteral("T"));
    QCOMPARE(r.filterNames, (QStringList{QStringLiteral("Text Files (*.txt)"), QStringLiteral("All Files (*.*)")}));
    QCOMPARE(r.filterPatterns, (QStringList{QStringLiteral("*.txt"), QStringLiteral("*.*")}));
    QCOMPARE(r.selectedFilter, 1);
    QVERIFY(r.existingFileOnly);
    QVERIFY(r.showReadOnlyBox);
    QVERIFY(!r.confirmOverwrite);

    dialog.setFlags(6);
    r = dialog.request(Kind::Save);
    QVERIFY(r.confirmOverwrite);
    QVERIFY(!r.showReadOnlyBox);
    QVERIFY(!r.existingFileOnly);

    // A folder without a drive lies at the root; a folder that is not there
    // leaves the choice to the dialog.
    QCOMPARE(CommonDialog::resolveFolder(QStringLiteral("\\tmp")), QDir::cleanPath(QDir::rootPath() + QStringLiteral("tmp")));
    QCOMPARE(CommonDialog::resolveFolder(QStringLiteral("\\tamsine-not-here")), QString());
    QCOMPARE(CommonDialog::resolveFolder(QString()), QString());
    QTemporaryDir dir;
    QCOMPARE(CommonDialog::resolveFolder(dir.path()), QDir::cleanPath(dir.path()));

    // "*.*" must match every file here, while the user still reads "All Files (*.*)".
    QCOMPARE(sys::qtNameFilter(QStringLiteral("All Files (*.*)"), QStringLiteral("*.*")),
             QStringLiteral("All Files (*.*) (*)"));
    QCOMPARE(sys::qtNameFilter(QStringLiteral("Docs"), QStringLiteral("*.txt;*.md")),
             QStringLiteral("Docs (*.txt *.md)"));
}

void tst_Files::qtFileDialogHonoursTheRequest()
{
    // The real dialog, driven while it is open: its settings, then a choice.
    QTemporaryDir dir;
    support::writeFile(dir.filePath(QStringLiteral("plain.txt")), "x");
    // Listed by name alone: opening a FIFO to see what it holds would wait for ever.
    QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath(QStringLiteral("a pipe"))).constData(), 0600), 0);
    sys::FileDialogRequest request;
    request.kind = Kind::Save;
    request.title = QStringLiteral("Save File From CLIP");
    request.directory = dir.path();
    request.fileName = QStringLiteral("chosen.txt");
    request.filterNames = {QStringLiteral("Text Files (*.txt)"), QStringLiteral("All Files (*.*)")};
    request.filterPatterns = {QStringLiteral("*.txt"), QStringLiteral("*.*")};
    request.confirmOverwrite = true;

    QFileDialog *seen = nullptr;
    QStringList shownFilters;
    QString shownFilter;
    bool confirmOverwrite = false;
    QTimer poll;
    whenFileDialogShows(poll, [&](QFileDialog *d) {
        seen = d;
        // Every column, the type of each entry too.
        d->setViewMode(QFileDialog::Detail);
        d->repaint();
        QCoreApplication::processEvents();
        QVERIFY(d->testOption(QFileDialog::DontUseNativeDialog));
        shownFilters = d->nameFilters();
        shownFilter = d->selectedNameFilter();
        confirmOverwrite = !d->testOption(QFileDialog::DontConfirmOverwrite);
        d->selectFile(dir.filePath(QStringLiteral("chosen.txt")));
        static_cast<QDialog *>(d)->accept();
    });
    sys::QtFileDialogs dialogs;
    const std::optional<QString> chosen = dialogs.run(nullptr, request);
    QVERIFY(seen);
    QCOMPARE(shownFilters.size(), 2);
    QVERIFY2(shownFilters.first().startsWith(shownFilter), qPrintable(shownFilter));
    QVERIFY(shownFilter.startsWith(QStringLiteral("Text Files (*.txt)")));
    QVERIFY(confirmOverwrite);
    QVERIFY(chosen.has_value());
    QCOMPARE(QFileInfo(*chosen).fileName(), QStringLiteral("chosen.txt"));
    // Nothing of it is kept for the next run.
    const QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    QVERIFY(!QFile::exists(config + QStringLiteral("/QtProject.conf")));
}

void tst_Files::qtFileDialogOffersTheNameThatFailed()
{
    // A Save As that failed in a folder that does not exist: the next
    // dialog offers that very name, which it gives back as it is.
    QTemporaryDir dir;
    const QString failed = dir.filePath(QStringLiteral("gone/deeper/x.txt"));
    sys::FileDialogRequest request;
    request.kind = Kind::Save;
    request.title = QStringLiteral("Save File From CLIP");
    request.fileName = failed;
    QString shown;
    QTimer poll;
    whenFileDialogShows(poll, [&](QFileDialog *d) {
        if (auto *field = d->findChild<QLineEdit *>(QStringLiteral("fileNameEdit")))
            shown = field->text();
        static_cast<QDialog *>(d)->accept();
    });
    sys::QtFileDialogs dialogs;
    const std::optional<QString> chosen = dialogs.run(nullptr, request);
    QCOMPARE(shown, failed);
    QCOMPARE(chosen, std::optional<QString>(failed));
}

void tst_Files::openAfterClipboardStart()
{
    fake::System system;
    system.clipboard.text = QStringLiteral("clipboard text");
    frm_Quillpad &frm = support::start();
    const QString caption = frm.windowTitle();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("opened.txt"));
    support::writeFile(path, "from the file\r\nline two");

    openFile(system, path);
    QCOMPARE(system.fileDialogs.requests.size(), 1);
    const sys::FileDialogRequest &r = system.fileDialogs.requests.first();
    QCOMPARE(r.kind, Kind::Open);
    QCOMPARE(r.title, QStringLiteral("Read File Into CLIP"));
    QCOMPARE(r.fileName, QString()); // nothing named yet
    QCOMPARE(r.directory, CommonDialog::resolveFolder(QStringLiteral("\\tamsine")));
    QCOMPARE(r.filterNames.size(), 2);
    QCOMPARE(r.selectedFilter, 0);
    QVERIFY(r.existingFileOnly);

    QCOMPARE(support::clip().Text(), QStringLiteral("from the file\nline two")); // replaced whole
    QCOMPARE(frm.windowTitle(), caption);
    QCOMPARE(Module1::applicationTitle(), caption);
    QCOMPARE(Module1::noteFile().clip_file_name, QDir::toNativeSeparators(path));
    QCOMPARE(Module1::noteFile().clip_init_dir, std::optional<QString>(QDir::toNativeSeparators(dir.path())));
    QVERIFY(system.messages.shown.isEmpty());

    // The next Save As offers the opened file, in its folder.
    system.fileDialogs.answers.push_back(std::nullopt);
    frm.action(QStringLiteral("save_as"))->trigger();
    const sys::FileDialogRequest &save = system.fileDialogs.requests.last();
    QCOMPARE(save.fileName, QDir::toNativeSeparators(path));
    QCOMPARE(save.directory, QDir::cleanPath(dir.path()));
    QCOMPARE(save.title, QStringLiteral("Save File From CLIP"));
}

void tst_Files::openAfterCommandLineStartAndSettingsPersist()
{
    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("first.txt"));
    support::writeFile(first, "one");
    fake::System system;
    frm_Quillpad &frm = support::start(first);

    system.fileDialogs.answers.push_back(std::nullopt);
    frm.action(QStringLiteral("open_it"))->trigger();
    QCOMPARE(system.fileDialogs.requests.last().fileName, first);
    QCOMPARE(system.fileDialogs.requests.last().directory, QString()); // the dialog's own default
    CommonDialog &dialog = frm.CMDialog1();
    QCOMPARE(dialog.Flags(), 4096u);
    QCOMPARE(dialog.DialogTitle(), QStringLiteral("Read File Into CLIP"));
    QCOMPARE(dialog.Filter(), QStringLiteral("Text Files (*.txt)|*.txt|All Files (*.*)|*.*|"));
    QCOMPARE(dialog.FilterIndex(), 1);

    system.fileDialogs.answers.push_back(std::nullopt);
    frm.action(QStringLiteral("save_as"))->trigger();
    QCOMPARE(dialog.Flags(), 6u);
    QCOMPARE(dialog.DialogTitle(), QStringLiteral("Save File From CLIP"));
    // Print Setup sets only the dialog action: the rest stays.
    system.printer->dialog = [](QPrinter &) { return false; };
    frm.action(QStringLiteral("print_setup"))->trigger();
    QCOMPARE(system.printer->dialogRuns, 1);
    QCOMPARE(dialog.Flags(), 6u);
    QCOMPARE(dialog.DialogTitle(), QStringLiteral("Save File From CLIP"));
}

void tst_Files::cancelChangesNothing()
{
    fake::System system;
    system.clipboard.text = QStringLiteral("keep me");
    frm_Quillpad &frm = support::start();
    for (const char *command : {"open_it", "save_as"}) {
        system.fileDialogs.answers.push_back(std::nullopt);
        frm.action(QString::fromLatin1(command))->trigger();
        QCOMPARE(support::clip().Text(), QStringLiteral("keep me"));
        QCOMPARE(Module1::noteFile().clip_file_name, QString());
        QCOMPARE(Module1::noteFile().clip_init_dir, std::optional<QString>(QStringLiteral("\\tamsine")));
    }
    QCOMPARE(system.fileDialogs.requests.size(), 2);
    QVERIFY(system.messages.shown.isEmpty());
}

void tst_Files::unreadableFileIsReportedOnce()
{
    fake::System system;
    system.clipboard.text = QStringLiteral("earlier text");
    support::start();
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("gone.txt"));
    openFile(system, missing);
    openFile(system, dir.path()); // a folder

    QCOMPARE(support::clip().Text(), QStringLiteral("earlier text"));
    QCOMPARE(Module1::noteFile().clip_file_name, QDir::toNativeSeparators(dir.path()));
    QCOMPARE(system.messages.shown.size(), 2);
    const fake::Message &m = system.messages.shown.first();
    QVERIFY2(m.text.contains(QDir::toNativeSeparators(missing)), qPrintable(m.text));
    QVERIFY2(m.text.contains(QStringLiteral("No such file")), qPrintable(m.text));
    QCOMPARE(m.title, Module1::applicationTitle());
    QCOMPARE(m.icon, sys::MessageIcon::None);
    QVERIFY(system.messages.shown.last().text.contains(QStringLiteral("folder")));
}

void tst_Files::saveWritesTheTextAndItsLineEnd()
{
    fake::System system;
    system.clipboard.text = QStringLiteral("abc\ndef");
    frm_Quillpad &frm = support::start();
    const QString caption = frm.windowTitle();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("out.txt"));

    system.fileDialogs.answers.push_back(path);
    frm.action(QStringLiteral("save_as"))->trigger();
    const sys::FileDialogRequest &r = system.fileDialogs.requests.last();
    QVERIFY(r.confirmOverwrite);
    QVERIFY(!r.showReadOnlyBox);
    QCOMPARE(support::readFile(path), QByteArray("abc\ndef\n")); // clipboard text: this platform's line end
    QCOMPARE(frm.windowTitle(), caption);
    QCOMPARE(Module1::noteFile().clip_file_name, QDir::toNativeSeparators(path));

    support::clip().setText(QString());
    system.fileDialogs.answers.push_back(path); // replaces the earlier content
    frm.action(QStringLiteral("save_as"))->trigger();
    QCOMPARE(support::readFile(path), QByteArray("\n"));
    QVERIFY(system.messages.shown.isEmpty()); // success says nothing

    // Clipboard text with its own line ends ends as its lines do.
    system.clipboard.text = QStringLiteral("one\r\ntwo");
    frm.action(QStringLiteral("Get_New_clip"))->trigger();
    system.fileDialogs.answers.push_back(path);
    frm.action(QStringLiteral("save_as"))->trigger();
    QCOMPARE(support::readFile(path), QByteArray("one\r\ntwo\r\n"));
}

void tst_Files::saveRoundTrips_data()
{
    QTest::addColumn<QByteArray>("original");
    QTest::addColumn<QString>("typed"); // appended at the end before saving
    QTest::addColumn<QByteArray>("saved");

    QTest::newRow("crlf") << QByteArray("a\r\nb\r\n\r\nc") << QString() << QByteArray("a\r\nb\r\n\r\nc\r\n");
    QTest::newRow("lf") << QByteArray("a\nb") << QStringLiteral("\nc") << QByteArray("a\nb\nc\n");
    QTest::newRow("cr") << QByteArray("a\rb") << QString() << QByteArray("a\rb\r");
    // A text that ends with a break gets nothing more: the file stays as it was.
    QTest::newRow("ends with a break") << QByteArray("a\r\nb\r\n") << QString() << QByteArray("a\r\nb\r\n");
    QTest::newRow("mixed breaks") << QByteArray("a\r\nb\nc\rd") << QStringLiteral("\ne")
                                  << QByteArray("a\r\nb\nc\rd\re\r");
    const QByteArray separators = QByteArrayLiteral("x\xE2\x80\xA9y\xEF\xB7\x90\xE2\x80\xA8\0z\xC2\x85\n");
    QTest::newRow("separators are characters") << separators << QString() << separators;
    QByteArray legacy;
    for (int b = 0; b < 256; ++b) {
        if (b != '\r' && b != '\n')
            legacy.append(char(b));
        if (b % 40 == 39)
            legacy.append("\r\n");
    }
    QTest::newRow("every legacy byte") << legacy << QString() << legacy + "\r\n";
    QTest::newRow("legacy keeps its code page") << QByteArray("caf\xE9") << QStringLiteral("\u20AC")
                                                << QByteArray("caf\xE9\x80\n");
    QTest::newRow("utf-8") << QByteArray("\xEF\xBB\xBFgr\xC3\xBC\xC3\x9F\r\n\xF0\x9F\x98\x80") << QString()
                           << QByteArray("\xEF\xBB\xBFgr\xC3\xBC\xC3\x9F\r\n\xF0\x9F\x98\x80\r\n");
    QTest::newRow("emoji into a legacy file") << QByteArray("caf\xE9\r\n") << QStringLiteral("\U0001F600")
                                              << QByteArray("caf\xC3\xA9\r\n\xF0\x9F\x98\x80\r\n");
}

void tst_Files::saveRoundTrips()
{
    QFETCH(QByteArray, original);
    QFETCH(QString, typed);
    QFETCH(QByteArray, saved);
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in.txt"));
    const QString out = dir.filePath(QStringLiteral("out.txt"));
    support::writeFile(in, original);
    fake::System system;
    frm_Quillpad &frm = support::start(in);
    ClipText &clip = support::clip();
    clip.setSelStart(clip.length());
    clip.setSelText(typed);
    system.fileDialogs.answers.push_back(out);
    frm.action(QStringLiteral("save_as"))->trigger();
    QCOMPARE(support::readFile(out), saved);
    QVERIFY(system.messages.shown.isEmpty());
}

void tst_Files::failedSaveLeavesTheFileAndSaysWhy()
{
    fake::System system;
    system.clipboard.text = QStringLiteral("new text");
    frm_Quillpad &frm = support::start();
    QTemporaryDir dir;
    const QString locked = dir.filePath(QStringLiteral("locked.txt"));
    support::writeFile(locked, "precious");
    QFile::setPermissions(locked, QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
    const QString nowhere = dir.filePath(QStringLiteral("no-such-folder/x.txt"));

    system.fileDialogs.answers.push_back(locked);
    frm.action(QStringLiteral("save_as"))->trigger();
    QCOMPARE(support::readFile(locked), QByteArray("precious"));
    QCOMPARE(system.messages.shown.size(), 1);
    QVERIFY(system.messages.shown.last().text.contains(QDir::toNativeSeparators(locked)));
    QVERIFY(system.messages.shown.last().text.contains(QStringLiteral("read-only")));
    QCOMPARE(system.messages.shown.last().title, Module1::applicationTitle());

    system.fileDialogs.answers.push_back(nowhere);
    frm.action(QStringLiteral("save_as"))->trigger();
    QVERIFY(!QFile::exists(nowhere));
    QCOMPARE(system.messages.shown.size(), 2);
    QVERIFY(system.messages.shown.last().text.contains(QStringLiteral("No such file or directory")));

    // The name that failed is offered next time.
    system.fileDialogs.answers.push_back(std::nullopt);
    frm.action(QStringLiteral("save_as"))->trigger();
    QCOMPARE(system.fileDialogs.requests.last().fileName, QDir::toNativeSeparators(nowhere));
    QCOMPARE(support::clip().Text(), QStringLiteral("new text"));
}

void tst_Files::fiftyMegabytesOpenAndSaveBack()
{
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("big.txt"));
    const QString out = dir.filePath(QStringLiteral("big-saved.txt"));
    QByteArray bytes;
    bytes.reserve(50 * 1024 * 1024 + 200);
    for (int i = 0; bytes.size() < 50 * 1024 * 1024; ++i)
        bytes += "Line " + QByteArray::number(i) + " of a long file, caf\xC3\xA9 au lait.\r\n";
    support::writeFile(in, bytes);

    fake::System system;
    system.clipboard.text = QStringLiteral("small");
    frm_Quillpad &frm = support::start();
    openFile(system, in);
    system.fileDialogs.answers.push_back(out);
    frm.action(QStringLiteral("save_as"))->trigger();
    QVERIFY(system.messages.shown.isEmpty());
    // Byte for byte: the text ends with a break, so nothing is added.
    const QByteArray written = support::readFile(out);
    QCOMPARE(written.size(), bytes.size());
    QVERIFY(written == bytes);
}

void tst_Files::randomBytesComeBackExactly()
{
    // Pieces files are made of: breaks of every kind, separators and
    // noncharacters in UTF-8, NUL and C1 controls, bytes that are not UTF-8.
    const QList<QByteArray> pieces{
        "a", "Zz", " ", "\t", "\r", "\n", "\r\n", "\n\r", "\xE2\x80\xA9", "\xE2\x80\xA8", "\xEF\xB7\x90",
        "\xEF\xB7\x91", QByteArray(1, '\0'), "\xC2\x85", "\xC3\xA9", "\xF0\x9F\x98\x80", "\xFF", "\x81", "\x9D",
        "\xEF\xBB\xBF"};
    QRandomGenerator random(4242);
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in.txt"));
    const QString out = dir.filePath(QStringLiteral("out.txt"));
    fake::System system;
    frm_Quillpad &frm = support::start();
    for (int round = 0; round < 2000; ++round) {
        QByteArray bytes;
        const int count = int(random.bounded(12));
        for (int i = 0; i < count; ++i)
            bytes += pieces.at(random.bounded(int(pieces.size())));
        support::writeFile(in, bytes);
        openFile(system, in);
        system.fileDialogs.answers.push_back(out);
        frm.action(QStringLiteral("save_as"))->trigger();

        // What comes back: the same bytes, and a line end where the file did
        // not end with one, in the style of its last break.
        QByteArray expected = bytes;
        if (!bytes.endsWith('\r') && !bytes.endsWith('\n')) {
            const qsizetype lf = bytes.lastIndexOf('\n');
            const qsizetype cr = bytes.lastIndexOf('\r');
            if (lf < 0 && cr < 0)
                expected += "\n";
            else if (lf > cr)
                expected += lf > 0 && bytes.at(lf - 1) == '\r' ? "\r\n" : "\n";
            else
                expected += "\r";
        }
        const QByteArray saved = support::readFile(out);
        QVERIFY2(saved == expected, qPrintable(QStringLiteral("%1 came back as %2")
                                                   .arg(QString::fromLatin1(bytes.toHex(' ')),
                                                        QString::fromLatin1(saved.toHex(' ')))));
    }
    QVERIFY(system.messages.shown.isEmpty());
}

void tst_Files::slowReadShowsProgressAndCancelKeepsTheNote()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("eight.txt"));
    const QByteArray bytes = eightMegabytes();
    support::writeFile(path, bytes);
    fake::System system;
    system.clipboard.text = QStringLiteral("kept");
    frm_Quillpad &frm = support::start();
    ClipText &clip = support::clip();
    ReadWithProgress::setPauseForTesting(150); // eight pieces: over a second

    // Past half a second the progress shows; the window keeps painting.
    support::PaintCounter paints;
    clip.viewport()->installEventFilter(&paints);
    bool seen = false;
    bool cancel = true;
    QTimer poll;
    connect(&poll, &QTimer::timeout, [&] {
        clip.viewport()->update();
        auto *progress = frm.findChild<QProgressDialog *>(QStringLiteral("reading_progress"));
        if (progress && progress->isVisible() && !seen) {
            seen = true;
            // Beside the note, which stays in use: it takes no keyboard.
            QVERIFY(progress->windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
            if (cancel) // as the user does
                progress->findChild<QPushButton *>()->click();
        }
    });
    poll.start(20);
    openFile(system, path);
    QVERIFY(seen);
    QVERIFY(paints.count > 3);
    QCOMPARE(clip.Text(), QStringLiteral("kept"));
    QVERIFY(system.messages.shown.isEmpty());

    // Left alone, it ends with the file's text.
    cancel = false;
    seen = false;
    openFile(system, path);
    ReadWithProgress::setPauseForTesting(0);
    QVERIFY(seen);
    QCOMPARE(clip.length(), bytes.size());
    QVERIFY(system.messages.shown.isEmpty());
}

void tst_Files::partOfAFileIsNeverTakenForTheWhole()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("eight.txt"));
    const QString out = dir.filePath(QStringLiteral("saved.txt"));
    const QByteArray bytes = eightMegabytes() + "THE END\n";
    support::writeFile(path, bytes);
    fake::System system;
    system.clipboard.text = QStringLiteral("kept");
    frm_Quillpad &frm = support::start();
    ClipText &clip = support::clip();
    clip.setPosition(2);
    QTest::keyClick(&clip, Qt::Key_X);
    QCOMPARE(clip.Text(), QStringLiteral("kexpt"));
    ReadWithProgress::setPauseForTesting(100); // a piece at once, the rest over most of a second

    // Acts once on the first of the text, while the rest is still to come.
    QTimer poll;
    std::function<void()> actOnFirstPiece;
    bool partSeen = false;
    bool cancelSeen = false;
    connect(&poll, &QTimer::timeout, [&] {
        if (!partSeen && clip.isReading() && clip.length() > 0) {
            partSeen = true;
            QVERIFY(clip.length() < bytes.size());
            // What has come scrolls: the caret goes to its end, no waiting.
            QTest::keyClick(&clip, Qt::Key_End, Qt::ControlModifier);
            QCOMPARE(clip.SelStart(), clip.length());
            QVERIFY(clip.isReading());
            actOnFirstPiece();
        }
    });
    poll.start(10);
    // A timer of its own: the first is still in its handler while Save As waits.
    QTimer watchProgress;
    connect(&watchProgress, &QTimer::timeout, [&] {
        auto *progress = frm.findChild<QProgressDialog *>(QStringLiteral("reading_progress"));
        if (cancelSeen || !progress || !progress->isVisible() || system.fileDialogs.answers.empty())
            return;
        cancelSeen = true; // Save As still waits: the user gives up the reading
        QVERIFY(!progress->windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus)); // Escape reaches it
        progress->findChild<QPushButton *>()->click();
    });
    watchProgress.start(10);

    // Save As waits for the whole text; cancelled, the note is as it was,
    // history, caret and all, and nothing is written.
    actOnFirstPiece = [&] {
        system.fileDialogs.answers.push_back(out);
        frm.action(QStringLiteral("save_as"))->trigger();
    };
    openFile(system, path);
    QVERIFY(partSeen && cancelSeen);
    QCOMPARE(clip.Text(), QStringLiteral("kexpt"));
    QCOMPARE(clip.SelStart(), 3);
    QVERIFY(!QFile::exists(out));
    system.fileDialogs.answers.clear();
    clip.undo();
    QCOMPARE(clip.Text(), QStringLiteral("kept"));

    // Typing waits for the whole text, then goes where the caret was put;
    // Save As then writes all of it.
    partSeen = false;
    actOnFirstPiece = [&] {
        clip.setPosition(0);
        QTest::keyClick(&clip, Qt::Key_Q);
        QVERIFY(!clip.isReading());
        QCOMPARE(clip.length(), bytes.size() + 1);
        system.fileDialogs.answers.push_back(out);
        frm.action(QStringLiteral("save_as"))->trigger();
    };
    openFile(system, path);
    ReadWithProgress::setPauseForTesting(0);
    QVERIFY(partSeen);
    QCOMPARE(clip.document().text(0, 2), QStringLiteral("qa"));
    QVERIFY(support::readFile(out) == "q" + bytes);
    QVERIFY(system.messages.shown.isEmpty());
}

void tst_Files::whatCannotBeReadIsRefusedAtOnce()
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("fifo"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString big = dir.filePath(QStringLiteral("big.txt"));
    support::writeFile(big, QByteArray(5000, 'b'));
    fake::System system;
    system.clipboard.text = QStringLiteral("kept");
    support::start();
    openFile(system, fifo);
    TextFile::setSizeLimit(1000);
    openFile(system, big);
    TextFile::setSizeLimit(0);
    QCOMPARE(support::clip().Text(), QStringLiteral("kept"));
    QCOMPARE(system.messages.shown.size(), 2);
    QVERIFY(system.messages.shown.at(0).text.contains(QDir::toNativeSeparators(fifo)));
    QVERIFY(system.messages.shown.at(0).text.contains(QStringLiteral("named pipe")));
    QVERIFY(system.messages.shown.at(1).text.contains(QStringLiteral("too large")));
}

void tst_Files::exitNeverWaitsForAReadThatHangs()
{
    if (!qEnvironmentVariableIsSet("QUILLPAD_TEST_CHILD")) {
        // The program's end is what is tested: in a process of its own, which must end.
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("QUILLPAD_TEST_CHILD"), QStringLiteral("1"));
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("exitNeverWaitsForAReadThatHangs")});
        const bool ended = child.waitForFinished(20000);
        if (!ended)
            child.kill();
        QVERIFY2(ended, "the program did not end while a read hung");
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QVERIFY2(child.exitCode() == 0, child.readAllStandardOutput().constData());
        return;
    }
    // A read that sits in the system for good: a FIFO that the test holds
    // open for writing and never writes to.
    QTemporaryDir dir;
    const QByteArray fifo = QFile::encodeName(dir.filePath(QStringLiteral("stalled")));
    QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
    const int writer = ::open(fifo.constData(), O_RDWR);
    QVERIFY(writer >= 0);
    ReadWithProgress::setReaderForTesting([](const QString &path, TextFile::ReadControl *, const TextCodec::Deliver &) {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
        char byte = 0;
        ::read(fd, &byte, 1); // never returns
        TextFile::ReadResult never;
        return never;
    });
    fake::System system;
    // File > Exit while the file is read (the progress shows by then).
    QTimer::singleShot(800, [] { Module1::mainWindow()->close(); });
    support::start(QFile::decodeName(fifo));
    QVERIFY(system.messages.shown.isEmpty());
    // The test's end ends the process, the reader still in read().
}

QTEST_MAIN(tst_Files)
#include "tst_files.moc"
