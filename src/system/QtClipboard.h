#pragma once
// The clipboard over Qt's, but for reading: on X11 the text is asked of its
// holder on a connection of the program's own, so that a holder that does
// not answer is told from an empty clipboard.

#include "SystemServices.h"

namespace sys {

class QtClipboard final : public Clipboard
{
public:
    bool readText(QString *text, QString *error) override;
    bool setText(const QString &text, QString *error) override;
    bool clear(QString *error) override;
    bool readSelectionText(QString *text, QString *error) override;
    bool waitUntilReadable(QWidget *window, QString *error) override;
};

} // namespace sys
