#pragma once
// How much more memory the program may take: what the system still has to
// give, and no more than the limits it runs under (ulimit -d, -v) leave.

#include <QtGlobal>

namespace Memory {

// In bytes; -1 where nothing can be told.
qint64 available();

} // namespace Memory
