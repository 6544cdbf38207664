#pragma once
// Every caption of the note is a subject followed by this suffix: a colon,
// two blanks and CLIP.

#include <QString>

namespace Caption {

inline const QString Suffix = QStringLiteral(":  CLIP");

} // namespace Caption
