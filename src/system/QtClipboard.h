#pragma once
// The clipboard over Qt's, but for reading: the text is asked of its holder
// by the reader this platform has (ClipboardReader), chosen once as the
// program starts, so that a holder that does not answer, or a clipboard the
// note may not read now, is never taken for an empty one.

#include "SystemServices.h"

#include <memory>

namespace sys {

class ClipboardReader;

class QtClipboard final : public Clipboard
{
public:
    QtClipboard();
    ~QtClipboard() override;

    void prepare() override;
    bool readsOnlyOnceShown() override;
    bool readText(QString *text, QString *error) override;
    bool setText(const QString &text, QString *error) override;
    bool clear(QString *error) override;
    bool readSelectionText(QString *text, QString *error) override;
    bool waitUntilReadable(QWidget *window, QString *error) override;

private:
    ClipboardReader &reader();

    std::unique_ptr<ClipboardReader> m_reader;
    std::unique_ptr<ClipboardReader> m_primary;
    bool m_primaryChosen = false;
};

} // namespace sys
