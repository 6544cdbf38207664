#pragma once
// Stand-ins for the system: a clipboard that can fail, a message box that
// records, file and printer dialogs that follow a script, and a modal runner
// that drives a dialog instead of waiting for a person.

#include "system/SystemServices.h"

#include <QDialog>
#include <QList>
#include <QPrinter>
#include <QStringList>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

namespace fake {

class Clipboard final : public sys::Clipboard
{
public:
    QString text;
    bool failRead = false;
    bool failSet = false;
    bool failClear = false;
    int setCalls = 0;
    int clearCalls = 0;

    bool readText(QString *out, QString *error) override
    {
        if (failRead) {
            if (error)
                *error = QStringLiteral("clipboard held by another program");
            return false;
        }
        *out = text;
        return true;
    }
    bool setText(const QString &t, QString *error) override
    {
        ++setCalls;
        if (failSet) {
            if (error)
                *error = QStringLiteral("clipboard refused the text");
            return false;
        }
        text = t;
        return true;
    }
    bool clear(QString *error) override
    {
        ++clearCalls;
        if (failClear) {
            if (error)
                *error = QStringLiteral("clipboard could not be opened");
            return false;
        }
        text.clear();
        return true;
    }
};

struct Message
{
    QString text;
    QString title;
    sys::MessageIcon icon;
};

class MessageBoxes final : public sys::MessageBoxes
{
public:
    QList<Message> shown;
    std::function<void()> whileShown; // runs as if during the box's own event loop

    void show(QWidget *, const QString &text, const QString &title, sys::MessageIcon icon) override
    {
        shown.append({text, title, icon});
        if (whileShown)
            whileShown();
    }
};

class FileDialogs final : public sys::FileDialogs
{
public:
    QList<sys::FileDialogRequest> requests;
    std::deque<std::optional<QString>> answers; // nullopt: Cancel

    std::optional<QString> run(QWidget *, const sys::FileDialogRequest &request) override
    {
        requests.append(request);
        if (answers.empty())
            return std::nullopt;
        std::optional<QString> answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

// A printer that writes PDF files; its dialog runs a script instead.
class Printer final : public sys::Printer
{
public:
    explicit Printer(const QString &pdfPath)
        : m_printer(std::make_unique<QPrinter>(QPrinter::HighResolution))
    {
        m_printer->setOutputFormat(QPrinter::PdfFormat);
        m_printer->setOutputFileName(pdfPath);
    }

    QString unavailable;                      // a reason makes Print refuse
    std::function<bool(QPrinter &)> dialog;   // the user's choice; false is Cancel
    int dialogRuns = 0;

    QPrinter &device() override { return *m_printer; }
    QString unavailableReason() override { return unavailable; }
    bool runSetupDialog(QWidget *) override
    {
        ++dialogRuns;
        return dialog ? dialog(*m_printer) : false;
    }

private:
    std::unique_ptr<QPrinter> m_printer;
};

// Shows the dialog modally without a nested event loop and lets the script
// act on it, as a person would while it is open.
class ModalRunner final : public sys::ModalRunner
{
public:
    std::function<void(QDialog &)> script;
    int runs = 0;

    void run(QDialog &dialog) override
    {
        ++runs;
        dialog.setWindowModality(Qt::ApplicationModal);
        dialog.show();
        if (script)
            script(dialog);
        if (dialog.isVisible())
            dialog.reject();
    }
};

// A window system that may or may not keep a window above the others.
class WindowSystem final : public sys::WindowSystem
{
public:
    QString cannotKeepAbove; // a reason makes it refuse

    bool canKeepAbove(QString *why) override
    {
        *why = cannotKeepAbove;
        return cannotKeepAbove.isEmpty();
    }
};

// All fakes, in force for the lifetime of this object.
struct System
{
    Clipboard clipboard;
    MessageBoxes messages;
    FileDialogs fileDialogs;
    ModalRunner modal;
    WindowSystem windowSystem;
    std::unique_ptr<Printer> printer;
    std::optional<sys::ScopedServices> scope;

    explicit System(const QString &pdfPath = QString())
        : printer(std::make_unique<Printer>(pdfPath))
    {
        scope.emplace(sys::Services{&clipboard, &messages, &fileDialogs, printer.get(), &modal, &windowSystem});
    }
};

} // namespace fake
