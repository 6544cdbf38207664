#pragma once
// A dialog without a default or a cancel button. QDialog would press a
// default button on Enter and close on Escape; here neither key does anything
// at the dialog's level, so the dialog's own fields decide what Enter means.

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
};
