// Markup filters run after the rewriting: HTML tags, then C/C++ comments.
// Both work in place, in time linear in the text's length.
#pragma once

#include "ByteString.h"

// Removes every stretch from "<" to the next ">", both included.
void StripHtmlTags(CByteString& text);

// Removes terminated block comments ("/*" to "*/") and line comments ("//" up
// to, not including, the line break; a CR right before the LF stays).
void StripComments(CByteString& text);
