#pragma once
// The X11 primary selection belongs to whoever selected last, and is read
// only when another program asks. This hands out the selected text then,
// rather than copying a large selection at once; it keeps a copy of its own
// only when the text is about to change (freeze()).

#include <QMimeData>
#include <QPointer>

class TextDocument;

class SelectionMimeData : public QMimeData
{
public:
    SelectionMimeData(const TextDocument &document, int from, int to);

    // Call before the document changes: the selection's text is kept as it is.
    void freeze();

    QStringList formats() const override;
    bool hasFormat(const QString &mimeType) const override;

protected:
    QVariant retrieveData(const QString &mimeType, QMetaType type) const override;

private:
    QPointer<const TextDocument> m_document;
    quint64 m_revision;
    int m_from;
    int m_to;
    bool m_frozen = false;
    QString m_text;
};
