// Display of CP932 (Windows Shift-JIS) byte strings. The bytes stay the truth;
// this only builds the text that is shown.
#pragma once

#include <QByteArray>
#include <QString>

// Decodes bytes as Windows does (0x5C is "\", 0x7E is "~", NEC and IBM
// extensions included). A byte or pair that is not valid CP932 becomes U+FFFD,
// a NUL becomes U+2205 "∅" (a symbol the IPA fonts have), CR LF and a lone CR or LF each
// become one line break. Nothing is dropped: every byte yields a character,
// except the two bytes of a pair and the CR of a CR LF.
QString Cp932ToDisplay(const QByteArray& bytes);
