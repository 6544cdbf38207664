#pragma once
// frm_Quillpad: the note window. It holds the text area, the common-dialog
// component and the menu bar; each menu item runs the handler named after it.

#include <QMainWindow>

class ClipText;
class CommonDialog;
class QAction;
class QMenu;

class frm_Quillpad : public QMainWindow
{
    Q_OBJECT

public:
    explicit frm_Quillpad(QWidget *parent = nullptr);
    ~frm_Quillpad() override;

    ClipText *clipText() const { return m_clipText; }
    CommonDialog &CMDialog1() const { return *m_commonDialog; }

    QAction *action(const QString &name) const;

public slots:
    // File
    void open_it_Click();
    void save_as_Click();
    void print_setup_Click();
    void print_clip_Click();
    void exit_quillpad_Click();
    // Edit
    void copy_to_clip_Click();
    void paste_from_clip_Click();
    // Search
    void findit_Click();
    void find_again_Click();
    // Options
    void Get_New_clip_Click();
    void Stay_On_Top_Click();
    void win_name_Click();
    void mnu_yellow_Click();
    void mnu_blue_Click();
    void mnu_black_Click();
    // Help
    void ABout_Click();

protected:
    void resizeEvent(QResizeEvent *event) override;
    void moveEvent(QMoveEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void createMenus();
    QMenu *addMenu(QMenu *parent, const char *name, const QString &caption);
    QAction *addItem(QMenu *menu, const char *name, const QString &caption,
                     void (frm_Quillpad::*handler)(), const QKeySequence &shortcut = {});
    QAction *addCheckItem(QMenu *menu, const char *name, const QString &caption,
                          void (frm_Quillpad::*handler)(), bool checked);
    void applyColorScheme(const QColor &background, const QColor &text, QAction *checked);
    // The selection onto the clipboard, as Copy does; false (and said) when it fails.
    bool copySelection();
    void Form_Resize();
    void Form_Unload();

    ClipText *m_clipText = nullptr;
    CommonDialog *m_commonDialog = nullptr;
};
