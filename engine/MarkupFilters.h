// Markup filters run after the rewriting: HTML tags, then C/C++ comments.
// Both work in place, in time linear in the text's length.
#pragma once

#include "ByteString.h"
#include "EditReport.h"

#include <vector>

// Removes every stretch from "<" to the next ">", both included. With edits
// (the text's, as the pass reported them), records what it removed in them.
void StripHtmlTags(CByteString& text, std::vector<CEdit>* edits = nullptr);

// Removes terminated block comments ("/*" to "*/") and line comments ("//" up
// to, not including, the line break; a CR right before the LF stays). Edits
// as above.
void StripComments(CByteString& text, std::vector<CEdit>* edits = nullptr);
