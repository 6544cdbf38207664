#pragma once
// While a progress window shows and the program waits for it, keys, clicks
// and drops go to it alone. It is not made modal: the window system's close
// requests for a window that a modal one blocks never reach it, and closing
// the note must end the program whatever it waits for.

#include <QObject>

class QEvent;
class QWidget;

namespace sys {

class InputOnlyTo : public QObject
{
public:
    explicit InputOnlyTo(QWidget &window);
    ~InputOnlyTo() override;
    InputOnlyTo(const InputOnlyTo &) = delete;
    InputOnlyTo &operator=(const InputOnlyTo &) = delete;

    bool eventFilter(QObject *receiver, QEvent *event) override;

private:
    QWidget &m_window;
};

} // namespace sys
