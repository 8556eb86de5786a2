// Whether a keyboard lock is on, where the platform can tell (X11 through
// XKB's named indicators); nothing elsewhere.
#pragma once

#include <optional>

enum class ELock { Kana, Caps, Num, Scroll };

std::optional<bool> QueryLockState(ELock lock);
