#include "CWindow.h"

#include "ActiveControl.h"
#include "system/SystemServices.h"
#include "ui/Twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <QWindow>
#include <cmath>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

const QString ErrorSource = QStringLiteral("CApplication");

ErrorRecord errorRecord(qint32 number)
{
    switch (number) {
    case CWindow::ErrClearClipboard:
        return {number, ErrorSource, QStringLiteral("Could not clear clipboard.")};
    case CWindow::ErrCopyToClipboard:
        return {number, ErrorSource,
                QStringLiteral("Could not set text from active control to clipboard.")};
    default:
        return {number, ErrorSource,
                QStringLiteral("Could not paste text from clipboard to active control.")};
    }
}

// Puts the active control's selected text on the clipboard.
bool copySelectionToClipboard()
{
    QString text;
    return ActiveControl::readSelText(&text)
           && sys::services().clipboard->setText(text, nullptr);
}

} // namespace

void CWindow::OnTop(QWidget &frmTop, bool bSetOnTop)
{
#ifdef Q_OS_WIN
    SetWindowPos(reinterpret_cast<HWND>(frmTop.winId()), bSetOnTop ? HWND_TOPMOST : HWND_NOTOPMOST,
                 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
#else
    // QWidget::setWindowFlags would hide and re-create the window. The
    // widget's own record of its flags is kept in step without that, and the
    // native window is told directly (on X11, _NET_WM_STATE_ABOVE).
    Qt::WindowFlags flags = frmTop.windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, bSetOnTop);
    frmTop.overrideWindowFlags(flags);
    if (QWindow *window = frmTop.windowHandle())
        window->setFlag(Qt::WindowStaysOnTopHint, bSetOnTop);
#endif
}

qint32 CWindow::centeredOffset(float screen, float window)
{
    const double exact = (double(screen) - double(window)) / 2.0;
    double whole = std::floor(exact);
    const double fraction = exact - whole;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(whole, 2.0) != 0.0))
        whole += 1.0;
    return qint32(whole);
}

void CWindow::Center(QWidget &frm)
{
    const QScreen *screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect frame = frm.frameGeometry();
    const qint32 left = centeredOffset(float(Twips::fromPixels(screen->geometry().width())),
                                       float(Twips::fromPixels(frame.width())));
    const qint32 top = centeredOffset(float(Twips::fromPixels(screen->geometry().height())),
                                      float(Twips::fromPixels(frame.height())));
    frm.move(Twips::toPixels(left), Twips::toPixels(top));
}

std::optional<ErrorRecord> CWindow::EditCopy()
{
    if (!sys::services().clipboard->clear(nullptr))
        return errorRecord(ErrClearClipboard);
    if (!copySelectionToClipboard())
        return errorRecord(ErrCopyToClipboard);
    return std::nullopt;
}

std::optional<ErrorRecord> CWindow::EditCut()
{
    if (!sys::services().clipboard->clear(nullptr))
        return errorRecord(ErrClearClipboard);
    // Both steps run before the check: the selection goes even when its text
    // could not be put on the clipboard.
    bool failed = !copySelectionToClipboard();
    failed = !ActiveControl::writeSelText(QString()) || failed;
    if (failed)
        return errorRecord(ErrCopyToClipboard);
    return std::nullopt;
}

std::optional<ErrorRecord> CWindow::EditPaste()
{
    QString text;
    if (!sys::services().clipboard->readText(&text, nullptr) || !ActiveControl::writeSelText(text))
        return errorRecord(ErrPasteFromClipboard);
    return std::nullopt;
}
