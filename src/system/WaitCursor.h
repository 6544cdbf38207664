#pragma once
// The wait cursor, for as long as this object lives, while the program
// waits for something that may take a moment. Not on Wayland: there Qt's
// own plug-in (6.4) may crash when the frames of the animated wait cursor
// are let go while an event loop of the program's own runs.

class WaitCursor
{
public:
    WaitCursor();
    ~WaitCursor();
    WaitCursor(const WaitCursor &) = delete;
    WaitCursor &operator=(const WaitCursor &) = delete;

private:
    bool m_shown = false;
};
