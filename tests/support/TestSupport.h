#pragma once
// Helpers shared by the tests: starting the program the way main() does and
// ending it again between test functions.

#include "app/ClipText.h"
#include "app/Module1.h"
#include "app/frm_Quillpad.h"
#include "support/FileSupport.h"

#include <QApplication>
#include <QByteArray>
#include <QCoreApplication>
#include <QEvent>
#include <QString>
#include <QTest>

namespace support {

// Ends the program's run and removes its windows, so the next test starts clean.
inline void endProgram()
{
    Module1::End();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

// Counts the paint events of a widget: whether it kept painting.
struct PaintCounter : QObject
{
    int count = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        count += event->type() == QEvent::Paint;
        return false;
    }
};

inline frm_Quillpad &start(const QString &commandLine = QString())
{
    Module1::Main(commandLine);
    return *Module1::mainWindow();
}

inline ClipText &clip()
{
    return *Module1::mainWindow()->clipText();
}

} // namespace support
