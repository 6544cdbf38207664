#include "SelectionMimeData.h"

#include "TextDocument.h"

SelectionMimeData::SelectionMimeData(const TextDocument &document, int from, int to)
    : m_document(&document)
    , m_revision(document.revision())
    , m_from(from)
    , m_to(to)
{
}

void SelectionMimeData::freeze()
{
    if (m_frozen)
        return;
    m_frozen = true;
    if (m_document && m_document->revision() == m_revision)
        m_text = m_document->text(m_from, m_to - m_from);
}

QStringList SelectionMimeData::formats() const
{
    return {QStringLiteral("text/plain")};
}

bool SelectionMimeData::hasFormat(const QString &mimeType) const
{
    return mimeType == QLatin1String("text/plain");
}

QVariant SelectionMimeData::retrieveData(const QString &mimeType, QMetaType) const
{
    if (mimeType != QLatin1String("text/plain"))
        return {};
    if (!m_frozen && m_document && m_document->revision() == m_revision)
        return m_document->text(m_from, m_to - m_from);
    return m_text;
}
