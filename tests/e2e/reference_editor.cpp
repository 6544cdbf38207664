// Qt's own plain-text editor, as the scenarios hold the note to it: the
// same input methods type into both, in the note's font, and drags start
// from it. Its text area is cyan, so a scenario finds it on the screen.
//
// Usage: reference_editor [TEXT]

#include <QApplication>
#include <QPlainTextEdit>

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ReferenceEditor"));
    QPlainTextEdit editor;
    editor.setWindowTitle(QStringLiteral("Reference Editor"));
    QPalette palette = editor.palette();
    palette.setColor(QPalette::Base, QColor(0, 255, 255));
    palette.setColor(QPalette::Text, Qt::black);
    editor.setPalette(palette);
    QFont font(QStringLiteral("Liberation Mono"));
    font.setPointSizeF(8.25);
    font.setBold(true);
    editor.setFont(font);
    if (argc > 1)
        editor.setPlainText(QString::fromLocal8Bit(argv[1]));
    editor.resize(360, 160);
    editor.show();
    return app.exec();
}
