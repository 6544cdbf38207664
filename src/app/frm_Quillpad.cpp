#include "frm_Quillpad.h"

#include "ClipText.h"
#include "FileCommands.h"
#include "Module1.h"
#include "PrintCommands.h"
#include "ResizeRule.h"
#include "ui/ProgramIcon.h"
#include "ui/Twips.h"
#include "files/CommonDialog.h"
#include "window/CWindow.h"
#include "window/NoteWindows.h"
#include "dialogs/About_Quillpad.h"
#include "dialogs/Set_Name.h"
#include "search/frm_search.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QMenuBar>

#include <memory>

namespace {

const QColor Yellow(255, 255, 0);
const QColor Blue(0, 0, 255);
const QColor Black(0, 0, 0);

} // namespace

frm_Quillpad::frm_Quillpad(QWidget *parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frm_Quillpad"));
    setWindowTitle(Module1::DesignCaption);
    setWindowIcon(programIcon());

    // The window's own yellow shows only where the text area does not reach.
    auto *client = new QWidget(this);
    client->setAutoFillBackground(true);
    QPalette p = client->palette();
    p.setColor(QPalette::Window, Yellow);
    client->setPalette(p);
    setCentralWidget(client);

    // The text area is placed by the resize rule, not by a layout.
    m_clipText = new ClipText(client);
    m_clipText->move(0, 0);
    m_clipText->resize(Twips::toPixels(7095, 4335));

    m_commonDialog = new CommonDialog(this);
    // Ctrl+C, Ctrl+X and Ctrl+V in the text area reach the clipboard as the
    // Edit menu's Copy and Paste do.
    m_clipText->setClipboardCommands([this] { return copySelection(); },
                                     [this] { paste_from_clip_Click(); });

    createMenus();
    resize(Twips::toPixels(7050), Twips::toPixels(4500) + menuBar()->sizeHint().height());
    m_clipText->setFocus();
}

frm_Quillpad::~frm_Quillpad() = default;

// ---- menus -------------------------------------------------------------------

void frm_Quillpad::createMenus()
{
    QMenu *File_stuff = addMenu(nullptr, "File_stuff", tr("&File"));
    addItem(File_stuff, "open_it", tr("&Open"), &frm_Quillpad::open_it_Click);
    addItem(File_stuff, "save_as", tr("&Save As..."), &frm_Quillpad::save_as_Click);
    File_stuff->addSeparator()->setObjectName(QStringLiteral("line1"));
    addItem(File_stuff, "print_setup", tr("Print Set&up"), &frm_Quillpad::print_setup_Click);
    addItem(File_stuff, "print_clip", tr("&Print"), &frm_Quillpad::print_clip_Click);
    File_stuff->addSeparator()->setObjectName(QStringLiteral("line2"));
    addItem(File_stuff, "exit_quillpad", tr("E&xit"), &frm_Quillpad::exit_quillpad_Click);

    QMenu *edit_stuff = addMenu(nullptr, "edit_stuff", tr("&Edit"));
    addItem(edit_stuff, "copy_to_clip", tr("&Copy"), &frm_Quillpad::copy_to_clip_Click,
            QKeySequence(Qt::CTRL | Qt::Key_Insert));
    addItem(edit_stuff, "paste_from_clip", tr("&Paste"), &frm_Quillpad::paste_from_clip_Click,
            QKeySequence(Qt::SHIFT | Qt::Key_Insert));

    QMenu *search = addMenu(nullptr, "search", tr("&Search"));
    addItem(search, "findit", tr("&Find"), &frm_Quillpad::findit_Click,
            QKeySequence(Qt::CTRL | Qt::Key_F));
    addItem(search, "find_again", tr("Find A&gain"), &frm_Quillpad::find_again_Click,
            QKeySequence(Qt::CTRL | Qt::Key_G));

    QMenu *option_list = addMenu(nullptr, "option_list", tr("&Options"));
    addItem(option_list, "Get_New_clip", tr("&Get New Clip Text"), &frm_Quillpad::Get_New_clip_Click);
    addCheckItem(option_list, "Stay_On_Top", tr("&Stay On Top"), &frm_Quillpad::Stay_On_Top_Click, false);
    addItem(option_list, "win_name", tr("Set Window &Name"), &frm_Quillpad::win_name_Click);
    QMenu *mnu_color = addMenu(option_list, "mnu_color", tr("&Backgound &Colors"));
    addCheckItem(mnu_color, "mnu_yellow", tr("&Yellow"), &frm_Quillpad::mnu_yellow_Click, true);
    addCheckItem(mnu_color, "mnu_blue", tr("&Blue"), &frm_Quillpad::mnu_blue_Click, false);
    addCheckItem(mnu_color, "mnu_black", tr("Blac&k"), &frm_Quillpad::mnu_black_Click, false);

    QMenu *Help = addMenu(nullptr, "Help", tr("&Help"));
    addItem(Help, "ABout", tr("&About"), &frm_Quillpad::ABout_Click);

    // The menu's shortcuts work whichever control has the focus.
    QList<QKeySequence> shortcuts;
    for (const QAction *item : findChildren<QAction *>()) {
        if (!item->shortcut().isEmpty())
            shortcuts << item->shortcut();
    }
    m_clipText->setMenuShortcuts(shortcuts);
}

QMenu *frm_Quillpad::addMenu(QMenu *parent, const char *name, const QString &caption)
{
    QMenu *menu = parent ? parent->addMenu(caption) : menuBar()->addMenu(caption);
    menu->setObjectName(QString::fromLatin1(name));
    menu->menuAction()->setObjectName(QString::fromLatin1(name));
    return menu;
}

QAction *frm_Quillpad::addItem(QMenu *menu, const char *name, const QString &caption,
                               void (frm_Quillpad::*handler)(), const QKeySequence &shortcut)
{
    QAction *item = menu->addAction(caption);
    item->setObjectName(QString::fromLatin1(name));
    item->setShortcut(shortcut);
    connect(item, &QAction::triggered, this, handler);
    return item;
}

QAction *frm_Quillpad::addCheckItem(QMenu *menu, const char *name, const QString &caption,
                                    void (frm_Quillpad::*handler)(), bool checked)
{
    QAction *item = menu->addAction(caption);
    item->setObjectName(QString::fromLatin1(name));
    item->setCheckable(true);
    item->setChecked(checked);
    // Qt flips a checkable item's mark before it reports the trigger; the
    // handlers set the marks themselves, so undo Qt's flip first.
    connect(item, &QAction::triggered, this, [this, item, handler](bool flipped) {
        item->setChecked(!flipped);
        (this->*handler)();
    });
    return item;
}

QAction *frm_Quillpad::action(const QString &name) const
{
    return findChild<QAction *>(name);
}

// Each command that acts on the whole text (or replaces it) first waits
// for a file still being read into the note, and does nothing where the
// reading was cancelled or failed.

// ---- File ----------------------------------------------------------------------

void frm_Quillpad::open_it_Click()
{
    if (!m_clipText->waitForWholeText())
        return;
    FileCommands::openFile(Module1::noteFile(), CMDialog1(), *m_clipText);
}

void frm_Quillpad::save_as_Click()
{
    if (!m_clipText->waitForWholeText())
        return;
    FileCommands::saveFileAs(Module1::noteFile(), CMDialog1(), *m_clipText);
}

void frm_Quillpad::print_setup_Click()
{
    PrintCommands::printSetup(CMDialog1());
}

void frm_Quillpad::print_clip_Click()
{
    if (!m_clipText->waitForWholeText())
        return;
    PrintCommands::printClip(*m_clipText);
}

void frm_Quillpad::exit_quillpad_Click()
{
    close(); // runs Form_Unload, which ends the program
}

// ---- Edit ----------------------------------------------------------------------

void frm_Quillpad::copy_to_clip_Click()
{
    copySelection();
}

bool frm_Quillpad::copySelection()
{
    if (!m_clipText->waitForWholeText())
        return false;
    QString error;
    if (!sys::services().clipboard->setText(m_clipText->SelText(), &error)) {
        Module1::MsgBox(error);
        return false;
    }
    return true;
}

void frm_Quillpad::paste_from_clip_Click()
{
    if (!m_clipText->waitForWholeText())
        return;
    QString text;
    QString error;
    if (!sys::services().clipboard->readText(&text, &error)) {
        // The clipboard's holder did not answer, or the user cancelled: the
        // note stays as it was.
        if (!error.isEmpty())
            Module1::MsgBox(error);
        return;
    }
    if (!m_clipText->setSelText(text)) {
        Module1::MsgBox(tr("Sorry, the text box is full.  Max characters is 32766."),
                        tr("Quillpad Warning!"), sys::MessageIcon::Exclamation);
        return;
    }
    m_clipText->ensureCursorVisible();
}

// ---- Search --------------------------------------------------------------------

void frm_Quillpad::findit_Click()
{
    frm_search &search = Module1::loadedSearchDialog();
    NoteWindows::keepWithNote(search, *this);
    search.showBeside(*this);
}

void frm_Quillpad::find_again_Click()
{
    Module1::loadedSearchDialog().search_it();
}

// ---- Options -------------------------------------------------------------------

void frm_Quillpad::Get_New_clip_Click()
{
    if (!m_clipText->waitForWholeText())
        return;
    QString text;
    QString error;
    if (!sys::services().clipboard->readText(&text, &error)) {
        if (!error.isEmpty())
            Module1::MsgBox(error);
        return;
    }
    if (!m_clipText->setText(text)) {
        Module1::MsgBox(sys::Clipboard::tooLargeMessage());
        return;
    }
    Module1::noteFile().setFormat(TextCodec::clipboardFormat(m_clipText->document().store()));
}

void frm_Quillpad::Stay_On_Top_Click()
{
    QAction *Stay_On_Top = action(QStringLiteral("Stay_On_Top"));
    const bool onTop = !Stay_On_Top->isChecked();
    QString why;
    if (onTop && !sys::services().windowSystem->canKeepAbove(&why)) {
        // Where no window may be kept above the others, the note says so
        // rather than wear a check mark for nothing.
        Module1::MsgBox(why);
        return;
    }
    Stay_On_Top->setChecked(onTop);
    CWindow window;
    window.OnTop(*this, onTop);
    if (frm_search *search = Module1::searchDialog())
        NoteWindows::keepWithNote(*search, *this);
}

void frm_Quillpad::win_name_Click()
{
    // Made afresh for each opening, so it starts from the current caption.
    auto dialog = std::make_unique<Set_Name>();
    NoteWindows::keepWithNote(*dialog, *this);
    sys::services().modal->run(*dialog);
}

void frm_Quillpad::mnu_yellow_Click()
{
    applyColorScheme(Yellow, Black, action(QStringLiteral("mnu_yellow")));
}

void frm_Quillpad::mnu_blue_Click()
{
    applyColorScheme(Blue, Yellow, action(QStringLiteral("mnu_blue")));
}

void frm_Quillpad::mnu_black_Click()
{
    applyColorScheme(Black, Yellow, action(QStringLiteral("mnu_black")));
}

void frm_Quillpad::applyColorScheme(const QColor &background, const QColor &text, QAction *chosen)
{
    // The whole text takes the scheme's colour in one merge through a cursor
    // of its own, so the user's selection, caret and view never move: they
    // are where they were, without being set back. Text that arrives later
    // takes the scheme's colour too, so it can never be black on black.
    m_clipText->setColors(background, text);
    m_clipText->setTextColorOfAll(text);

    for (const char *name : {"mnu_yellow", "mnu_blue", "mnu_black"}) {
        QAction *item = action(QString::fromLatin1(name));
        item->setChecked(item == chosen);
    }
}

// ---- Help ----------------------------------------------------------------------

void frm_Quillpad::ABout_Click()
{
    auto about = std::make_unique<About_Quillpad>();
    NoteWindows::keepWithNote(*about, *this);
    sys::services().modal->run(*about);
}

// ---- window events -------------------------------------------------------------

void frm_Quillpad::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

void frm_Quillpad::moveEvent(QMoveEvent *event)
{
    // The frame's size becomes known once the window manager has framed the
    // window, which shows as a move; the rule works on the outer size.
    QMainWindow::moveEvent(event);
    Form_Resize();
}

void frm_Quillpad::closeEvent(QCloseEvent *event)
{
    event->accept();
    Form_Unload();
}

void frm_Quillpad::Form_Resize()
{
    const QSize outer = frameGeometry().size();
    const TextAreaSize current{float(m_clipText->Width()), float(m_clipText->Height())};
    const TextAreaSize next = resizeRule(float(Twips::fromPixels(outer.width())),
                                         float(Twips::fromPixels(outer.height())), current);
    m_clipText->setWidth(next.width);
    m_clipText->setHeight(next.height);
}

void frm_Quillpad::Form_Unload()
{
    Module1::End();
}
