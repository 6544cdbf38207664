#include "About_Quillpad.h"

#include "ui/Fonts.h"
#include "ui/Twips.h"

#include <QLabel>
#include <QPainter>

About_Quillpad::About_Quillpad(QWidget *parent)
    // It closes only through its frame, never on a key.
    : PlainDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                              | Qt::WindowCloseButtonHint)
    , m_picture(QStringLiteral(":/quillpad/about.bmp"))
{
    setObjectName(QStringLiteral("About_Quillpad"));
    setWindowTitle(tr("About Quillpad"));
    setModal(true);
    const QFont formFont = Fonts::sansSerifBold();
    setFont(formFont);
    setFixedSize(Twips::toPixels(2865, 3285));
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, Qt::black);
    setPalette(p);

    m_label1 = addLabel("Label1", tr("Orl Quillpad 1.0.11"), Twips::rect(240, 1440, 2385, 585),
                        QColor(255, 0, 0), Fonts::sansSerifBold(12));
    m_label2 = addLabel("Label2", tr("December 22nd, 1997"), Twips::rect(360, 2040, 2190, 330),
                        QColor(255, 255, 255), formFont);
    m_label3 = addLabel("Label3", tr("Quillpad Project\nhelp: see README"),
                        Twips::rect(360, 2280, 2295, 375), QColor(0, 0, 255), formFont);
    m_oslevel = addLabel("oslevel", tr("For Win95/NT 4.0"), Twips::rect(720, 2760, 1575, 375),
                         QColor(255, 255, 0), formFont);

    Form_Load();
}

QLabel *About_Quillpad::addLabel(const char *name, const QString &text, const QRect &geometry,
                                 const QColor &color, const QFont &font)
{
    auto *label = new QLabel(text, this);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(geometry);
    label->setFont(font);
    label->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    // Each line as laid out: a stand-in font wider than the design's makes
    // the text smaller (fitText), never wraps it.
    label->setWordWrap(false);
    // No background of its own: the black window and the picture show through.
    label->setAutoFillBackground(false);
    label->setAttribute(Qt::WA_TranslucentBackground);
    QPalette p = label->palette();
    p.setColor(QPalette::WindowText, color);
    label->setPalette(p);
    return label;
}

void About_Quillpad::Form_Load()
{
    // The same line on every system.
    m_oslevel->setText(tr("For Windows 95 (32-bit)"));
    for (QLabel *label : {m_label1, m_label2, m_label3, m_oslevel})
        Fonts::fitText(label);
}

void About_Quillpad::paintEvent(QPaintEvent *event)
{
    PlainDialog::paintEvent(event);
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_picture);
}
