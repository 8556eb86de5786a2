#include "LockState.h"

#include <QGuiApplication>

#if defined(JESTPAD_HAVE_X11)
// X11 after Qt: its macros (None, Bool, Status...) would clash with Qt's names.
#include <X11/XKBlib.h>
#endif

std::optional<bool> QueryLockState(ELock lock)
{
#if defined(JESTPAD_HAVE_X11)
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->display())
        return std::nullopt;
    Display* display = x11->display();
    const char* name = "Caps Lock";
    switch (lock) {
    case ELock::Kana: name = "Kana"; break;
    case ELock::Caps: name = "Caps Lock"; break;
    case ELock::Num: name = "Num Lock"; break;
    case ELock::Scroll: name = "Scroll Lock"; break;
    }
    const Atom atom = XInternAtom(display, name, True);
    if (atom == None)
        return std::nullopt;
    Bool state = False;
    if (!XkbGetNamedIndicator(display, atom, nullptr, &state, nullptr, nullptr))
        return std::nullopt;
    return state != False;
#else
    (void)lock;
    return std::nullopt;
#endif
}
