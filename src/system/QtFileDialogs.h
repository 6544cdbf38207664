#pragma once
// Qt's own open and save dialogs, set up as the common-dialog component asks,
// keeping nothing between runs and listing folders by name alone.

#include "SystemServices.h"

namespace sys {

class QtFileDialogs final : public FileDialogs
{
public:
    std::optional<QString> run(QWidget *parent, const FileDialogRequest &request) override;
};

// Qt's name filter for one description and its patterns: the description
// stays as the user knows it, the patterns are what the dialog really matches.
QString qtNameFilter(const QString &description, const QString &patterns);

} // namespace sys
