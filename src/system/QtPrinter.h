#pragma once
// The program's printer (QPrinter) and the system's printer dialog over it.

#include "SystemServices.h"

#include <memory>

namespace sys {

class QtPrinter final : public Printer
{
public:
    QtPrinter();
    ~QtPrinter() override;
    QPrinter &device() override;
    QString unavailableReason() override;
    bool runSetupDialog(QWidget *parent) override;
    QString jobRefusal() override;
    // Lets go of the printer object (as the application ends).
    void release();

private:
    // Made on first use: asking the print system for its default printer
    // can take a moment, and most runs never print.
    std::unique_ptr<QPrinter> m_printer;
};

} // namespace sys
