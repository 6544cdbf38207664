#pragma once
// A dialog without a default or a cancel button. QDialog would press a
// default button on Enter and close on Escape; here Escape does nothing, and
// Enter presses only the button that has the focus, so the dialog's own
// fields decide what Enter means in them. Its frame offers the close box
// only.

#include <QDialog>
#include <initializer_list>

class QPushButton;

class PlainDialog : public QDialog
{
public:
    // The frame of a fixed dialog: caption and close box, no minimise or maximise.
    static constexpr Qt::WindowFlags FixedFrame = Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint
                                                  | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                                                  | Qt::WindowCloseButtonHint;

    explicit PlainDialog(QWidget *parent = nullptr, Qt::WindowFlags flags = FixedFrame);

protected:
    // Push buttons in a QDialog are auto-default; these never are.
    static void neverDefault(std::initializer_list<QPushButton *> buttons);
    void keyPressEvent(QKeyEvent *event) override;
    // These dialogs have a fixed size and no minimise or maximise button.
    // The frame's hints say so, and most window managers follow them; one
    // that minimises, maximises or fills the screen with the dialog anyway
    // (openbox offers minimising every dialog, fluxbox follows a request to
    // maximise any) sees it come straight back as it was, and active, with
    // the keyboard.
    void changeEvent(QEvent *event) override;

private:
    void putBack();
};
