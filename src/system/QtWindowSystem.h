#pragma once
// What the window system lets the program do with its windows.

#include "SystemServices.h"

namespace sys {

class QtWindowSystem final : public WindowSystem
{
public:
    bool canKeepAbove(QString *why) override;
};

} // namespace sys
