#pragma once
// frm_search: the modeless "Search For..." window. It keeps its string, its
// list of past strings and its check boxes while hidden; only its close box
// unloads it. search_it is the one search, whichever way it is started.

#include "SearchTarget.h"
#include "ui/PlainDialog.h"

#include <QColor>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

class frm_search : public PlainDialog
{
    Q_OBJECT

public:
    explicit frm_search(QWidget *parent = nullptr);

    // Where each search finds the text it searches (the note's text area):
    // asked afresh at every search; none, and a search does nothing.
    void setTarget(std::function<SearchTarget *()> target) { m_target = std::move(target); }

    // The system's colour of an active window's border, its background.
    static QColor activeBorderColor();

    // Find: shows the dialog as it was left, first placing it beside the note.
    void showBeside(QWidget &note);

    QComboBox *cbo_search() const { return m_search; }
    QCheckBox *chk_ignore_case() const { return m_ignoreCase; }
    QCheckBox *chk_whole_word() const { return m_wholeWord; }
    QPushButton *b_search_forward() const { return m_searchForward; }
    QPushButton *b_cancel() const { return m_cancel; }

signals:
    // The close box unloaded it: whoever holds it lets go now.
    void unloaded();

public slots:
    void search_it();
    void b_search_forward_Click();
    void b_cancel_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void cbo_search_KeyPress(int keyAscii);

    std::function<SearchTarget *()> m_target;
    QLabel *m_label = nullptr;
    QComboBox *m_search = nullptr;
    QCheckBox *m_ignoreCase = nullptr;
    QCheckBox *m_wholeWord = nullptr;
    QPushButton *m_cancel = nullptr;
    QPushButton *m_searchForward = nullptr;
    bool m_placed = false;
};
