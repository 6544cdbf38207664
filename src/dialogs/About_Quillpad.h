#pragma once
// About_Quillpad: the modal About box, black, with its picture, the version,
// the build date, the maker's line and the system line.

#include "ui/PlainDialog.h"

#include <QPixmap>

class QLabel;

class About_Quillpad : public PlainDialog
{
    Q_OBJECT

public:
    explicit About_Quillpad(QWidget *parent = nullptr);

    QLabel *Label1() const { return m_label1; }
    QLabel *Label2() const { return m_label2; }
    QLabel *Label3() const { return m_label3; }
    QLabel *oslevel() const { return m_oslevel; }
    const QPixmap &Picture() const { return m_picture; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void Form_Load();
    QLabel *addLabel(const char *name, const QString &text, const QRect &geometry,
                     const QColor &color, const QFont &font);

    QPixmap m_picture;
    QLabel *m_label1 = nullptr;
    QLabel *m_label2 = nullptr;
    QLabel *m_label3 = nullptr;
    QLabel *m_oslevel = nullptr;
};
