#pragma once
// What screen readers see of a TextView: an editable, multi-line text whose
// characters, caret and selection they can read and change, as they read a
// QPlainTextEdit.

#include <QAccessibleWidget>

class TextView;

class TextViewAccessible : public QAccessibleWidget,
                           public QAccessibleTextInterface,
                           public QAccessibleEditableTextInterface
{
public:
    // Makes every TextView answer with this interface; once is enough.
    static void install();

    // What the view tells screen readers, while one listens.
    static void caretMoved(TextView *view);
    static void selectionChanged(TextView *view);
    static void textRemoved(TextView *view, int position, int count);
    static void textInserted(TextView *view, int position, int count);

    explicit TextViewAccessible(TextView *view);

    void *interface_cast(QAccessible::InterfaceType type) override;
    QAccessible::State state() const override;
    QString text(QAccessible::Text type) const override;

    // QAccessibleTextInterface
    void selection(int selectionIndex, int *startOffset, int *endOffset) const override;
    int selectionCount() const override;
    void addSelection(int startOffset, int endOffset) override;
    void removeSelection(int selectionIndex) override;
    void setSelection(int selectionIndex, int startOffset, int endOffset) override;
    int cursorPosition() const override;
    void setCursorPosition(int position) override;
    QString text(int startOffset, int endOffset) const override;
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                             int *startOffset, int *endOffset) const override;
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                            int *startOffset, int *endOffset) const override;
    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                         int *startOffset, int *endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint &point) const override;
    void scrollToSubstring(int startIndex, int endIndex) override;
    QString attributes(int offset, int *startOffset, int *endOffset) const override;

    // QAccessibleEditableTextInterface
    void deleteText(int startOffset, int endOffset) override;
    void insertText(int offset, const QString &text) override;
    void replaceText(int startOffset, int endOffset, const QString &text) override;

private:
    TextView *view() const;
    // The unit of the given kind that holds offset.
    std::pair<int, int> unitAt(int offset, QAccessible::TextBoundaryType type) const;
    QString textOf(std::pair<int, int> unit, int *startOffset, int *endOffset) const;
};
