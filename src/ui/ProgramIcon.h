#pragma once
// The program's 32 x 32, 16-colour icon, compiled in: reading it needs no
// image reader, which would load every image plug-in at start-up.

#include <QIcon>

QIcon programIcon();
