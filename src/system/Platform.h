#pragma once
// Which of Qt's window-system plug-ins the program starts on, chosen before
// the application object exists, so that it never aborts for want of one.
// A platform the user named (QT_QPA_PLATFORM, one or a list separated by
// ';') is theirs, where it can be opened: an X11 or Wayland one that cannot
// is said in one line, as Qt would abort. Otherwise an X server that really
// answers is taken first (through XWayland on a Wayland desktop, where Stay
// On Top can work if its window manager keeps windows above), then a Wayland
// compositor that answers; where neither can be used, the reason is given
// in one line.

#include <QString>

namespace Platform {

// What the program finds as it starts.
struct Situation
{
    bool platformNamed = false; // QT_QPA_PLATFORM is set
    QString namedPlatform;      // what it says
    QString display;            // DISPLAY
    QString waylandDisplay;     // WAYLAND_DISPLAY
    bool hasX11Support = false; // Qt's X11 plug-in
    bool hasWaylandSupport = false;
    bool xServerAnswers = false;
    bool compositorAnswers = false;
};

struct Choice
{
    QString platform; // what QT_QPA_PLATFORM is to be; empty: left as it is
    QString missing;  // why none can start; empty where one can
};

// The choice for a situation.
Choice decide(const Situation &situation);

// True where a platform is set (or left to the user's choice); false with
// the reason, naming what is missing, where none can start.
bool choose(QString *reason);

} // namespace Platform
