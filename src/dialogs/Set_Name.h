#pragma once
// Set_Name: the modal "Set Clip Window Name" dialog. It shows the main
// window's name without the caption suffix; Okay renames the window, Enter
// renames it and makes the new caption the application title too.

#include "ui/PlainDialog.h"

class QLabel;
class QLineEdit;
class QPushButton;

class Set_Name : public PlainDialog
{
    Q_OBJECT

public:
    // Typing stops adding characters once the name is longer than this.
    static constexpr int TypingLimit = 33;

    explicit Set_Name(QWidget *parent = nullptr);

    QLineEdit *Input_Name() const { return m_input; }
    QPushButton *Command1() const { return m_okay; }
    QPushButton *Command2() const { return m_cancel; }

    // The character code a key press types, as the typing limit counts it:
    // 0 for keys that type nothing (Delete, arrows, Home, End, ...), 8 for
    // Backspace, control codes for Ctrl+letter.
    static int typedCharacter(const QKeyEvent &key);

    // A name as one line: each line break (of any kind) and tab a blank.
    static QString oneLine(QString text);

public slots:
    void Command1_Click();
    void Command2_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Form_Load();
    void Input_Name_GotFocus();
    void Input_Name_KeyDown(int keyCode);
    int Input_Name_KeyPress(int keyAscii);
    void rename(bool alsoTitle);

    QLabel *m_label = nullptr;
    QLineEdit *m_input = nullptr;
    QPushButton *m_okay = nullptr;
    QPushButton *m_cancel = nullptr;
};
