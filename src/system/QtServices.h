#pragma once
// The production services over Qt: QClipboard, QMessageBox, QFileDialog,
// QPrinter with QPrintDialog, and QDialog::exec.

#include "SystemServices.h"

#include <memory>

namespace sys {

class QtClipboard final : public Clipboard
{
public:
    bool readText(QString *text, QString *error) override;
    bool setText(const QString &text, QString *error) override;
    bool clear(QString *error) override;
    bool readSelectionText(QString *text, QString *error) override;
    bool waitUntilReadable(QWidget *window, QString *error) override;
};

class QtWindowSystem final : public WindowSystem
{
public:
    bool canKeepAbove(QString *why) override;
};

class QtMessageBoxes final : public MessageBoxes
{
public:
    void show(QWidget *parent, const QString &text, const QString &title,
              MessageIcon icon) override;
};

class QtFileDialogs final : public FileDialogs
{
public:
    std::optional<QString> run(QWidget *parent, const FileDialogRequest &request) override;
};

class QtPrinter final : public Printer
{
public:
    QtPrinter();
    ~QtPrinter() override;
    QPrinter &device() override;
    QString unavailableReason() override;
    bool runSetupDialog(QWidget *parent) override;
    // Lets go of the printer object (as the application ends).
    void release();

private:
    // Made on first use: asking the print system for its default printer
    // can take a moment, and most runs never print.
    std::unique_ptr<QPrinter> m_printer;
};

class QtModalRunner final : public ModalRunner
{
public:
    void run(QDialog &dialog) override;
};

// Qt's name filter for one description and its patterns: the description
// stays as the user knows it, the patterns are what the dialog really matches.
QString qtNameFilter(const QString &description, const QString &patterns);

} // namespace sys
