// How the engine hands a message to the user without showing anything itself:
// the caller supplies a sink (standard error for jestcat, a message box for
// the window).
#pragma once

#include <string>

class CMessageSink {
public:
    virtual ~CMessageSink() = default;
    // text is UTF-8. Returns once the user has seen it (a modal box closes).
    virtual void ShowMessage(const std::string& text) = 0;
};
