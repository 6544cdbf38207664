#include "frm_search.h"

#include "system/SystemServices.h"
#include "ui/Fonts.h"
#include "ui/NoIcon.h"
#include "ui/Program.h"
#include "ui/Twips.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

QColor frm_search::activeBorderColor()
{
#ifdef Q_OS_WIN
    const DWORD color = GetSysColor(COLOR_ACTIVEBORDER);
    return QColor(GetRValue(color), GetGValue(color), GetBValue(color));
#else
    // X11 and Wayland have no such system colour: the light grey it has
    // classically been.
    return QColor(192, 192, 192);
#endif
}

frm_search::frm_search(QWidget *parent)
    : PlainDialog(parent)
{
    setObjectName(QStringLiteral("frm_search"));
    setWindowTitle(tr("Search For..."));
    setModal(false);
    setWindowIcon(noIcon());
    setFixedSize(Twips::toPixels(4680, 2175));
    // The colour of an active window's border.
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, activeBorderColor());
    setPalette(p);

    m_label = new QLabel(tr("String:"), this);
    m_label->setObjectName(QStringLiteral("Label1"));
    m_label->setGeometry(Twips::rect(240, 240, 615, 255));
    Fonts::fitText(m_label);

    m_search = new QComboBox(this);
    m_search->setObjectName(QStringLiteral("cbo_search"));
    m_search->setEditable(true);
    // The list holds what search_it adds to it, nothing the combo box adds itself.
    m_search->setInsertPolicy(QComboBox::NoInsert);
    m_search->setDuplicatesEnabled(true);
    m_search->setCompleter(nullptr); // no completion: the string is what was typed
    m_search->setGeometry(Twips::rect(960, 240, 3495, 315));
    // Keys reach the combo box when it has the focus, and it hands them to its
    // line edit directly; an Enter sent to the line edit comes back up to it.
    m_search->installEventFilter(this);

    m_ignoreCase = new QCheckBox(tr("Ignore Case"), this);
    m_ignoreCase->setObjectName(QStringLiteral("chk_ignore_case"));
    m_ignoreCase->setGeometry(Twips::rect(960, 720, 2415, 255));
    m_ignoreCase->setChecked(true);

    m_wholeWord = new QCheckBox(tr("Search for Whole Word"), this);
    m_wholeWord->setObjectName(QStringLiteral("chk_whole_word"));
    m_wholeWord->setGeometry(Twips::rect(960, 1080, 2415, 255));
    m_wholeWord->setChecked(false);

    m_cancel = new QPushButton(tr("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("b_cancel"));
    m_cancel->setGeometry(Twips::rect(3120, 1560, 1335, 375));

    m_searchForward = new QPushButton(tr("Search"), this);
    m_searchForward->setObjectName(QStringLiteral("b_search_forward"));
    m_searchForward->setGeometry(Twips::rect(240, 1560, 1335, 375));

    // Enter belongs to the combo box, Escape to nobody.
    neverDefault({m_cancel, m_searchForward});
    connect(m_searchForward, &QPushButton::clicked, this, &frm_search::b_search_forward_Click);
    connect(m_cancel, &QPushButton::clicked, this, &frm_search::b_cancel_Click);

    setTabOrder(m_search, m_ignoreCase);
    setTabOrder(m_ignoreCase, m_wholeWord);
    setTabOrder(m_wholeWord, m_cancel);
    setTabOrder(m_cancel, m_searchForward);
    m_search->setFocus();
}

void frm_search::showBeside(QWidget &note)
{
    if (!m_placed) {
        m_placed = true;
        // Right of the note where the screen has room, else left of it.
        const QRect frame = note.frameGeometry();
        const QScreen *screen = note.screen() ? note.screen() : QApplication::primaryScreen();
        const QRect room = screen ? screen->availableGeometry() : QRect();
        QPoint at(frame.right() + 1, frame.top());
        if (room.isValid() && at.x() + frameGeometry().width() > room.right())
            at.setX(qMax(room.left(), frame.left() - frameGeometry().width()));
        move(at);
    }
    show();
    raise();
    activateWindow();
}

void frm_search::search_it()
{
    SearchTarget *clip = m_target ? m_target() : nullptr;
    if (!clip || !clip->waitForWholeText())
        return;
    const SearchOptions options{!m_ignoreCase->isChecked(), m_wholeWord->isChecked()};

    // Start right after the selection, with nothing selected.
    clip->setSelStart(clip->SelStart() + clip->SelLength());
    const int found = clip->Find(m_search->currentText(), clip->SelStart(), options);

    if (found != -1) {
        hide();
        const QString text = m_search->currentText();
        if (m_search->count() == 0 || m_search->itemText(0) != text)
            m_search->addItem(text);
    } else {
        sys::services().messages->show(Program::noteWindow(),
                                       tr("Sorry, can't find '") + m_search->currentText() + tr("'."),
                                       tr("Quillpad Search"), sys::MessageIcon::Exclamation);
    }
}

void frm_search::b_search_forward_Click()
{
    search_it();
}

void frm_search::b_cancel_Click()
{
    hide();
}

void frm_search::cbo_search_KeyPress(int keyAscii)
{
    if (keyAscii == 13)
        search_it();
}

bool frm_search::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_search && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
            cbo_search_KeyPress(13);
        // The key goes on to the combo box either way.
    }
    return PlainDialog::eventFilter(watched, event);
}

void frm_search::closeEvent(QCloseEvent *event)
{
    // The close box unloads the dialog: the next Find starts afresh.
    event->accept();
    emit unloaded();
    deleteLater();
}
