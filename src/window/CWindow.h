#pragma once
// CWindow: stateless window utilities. Pinning a window above all others,
// centring it on the screen, and Copy, Cut and Paste between whichever control
// has the focus and the clipboard. The edit commands report a failure as an
// error record and never show anything.

#include <QString>
#include <QtGlobal>
#include <optional>

class QWidget;

struct ErrorRecord
{
    qint32 Number = 0;
    QString Source;
    QString Description;
};

class CWindow
{
public:
    // Interface-specific error codes: FACILITY_ITF (0x80040000) plus an offset.
    static constexpr qint32 ErrClearClipboard = qint32(0x80040000u + 515);
    static constexpr qint32 ErrCopyToClipboard = qint32(0x80040000u + 516);
    static constexpr qint32 ErrPasteFromClipboard = qint32(0x80040000u + 517);

    // Write-only: pins frmTop above every ordinary window, or releases it.
    // Only the window's place in the stacking order changes: it is not moved,
    // resized or activated.
    void OnTop(QWidget &frmTop, bool bSetOnTop);
    // Centres frm on the primary screen, keeping its size.
    void Center(QWidget &frm);

    std::optional<ErrorRecord> EditCopy();
    std::optional<ErrorRecord> EditCut();
    std::optional<ErrorRecord> EditPaste();

    // (screen - window) / 2, rounded to the nearest integer, an exact half to
    // the even neighbour; not clamped.
    static qint32 centeredOffset(float screen, float window);
};
