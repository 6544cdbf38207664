#pragma once
// The system's message box, and modal dialogs run until they close.

#include "SystemServices.h"

namespace sys {

class QtMessageBoxes final : public MessageBoxes
{
public:
    void show(QWidget *parent, const QString &text, const QString &title,
              MessageIcon icon) override;
};

class QtModalRunner final : public ModalRunner
{
public:
    void run(QDialog &dialog) override;
};

} // namespace sys
