// Display of CP932 (Windows Shift-JIS) byte strings. The bytes stay the truth;
// this only builds the text that is shown.
#pragma once

#include "Encoding.h"

#include <QByteArray>
#include <QString>

// Decodes bytes as Windows does (0x5C is "\", 0x7E is "~", NEC and IBM
// extensions included). A byte or pair that is not valid CP932 becomes U+FFFD,
// a NUL becomes U+2205 "∅" (a symbol the IPA fonts have), CR LF and a lone CR or LF each
// become one line break. Nothing is dropped: every byte yields a character,
// except the two bytes of a pair and the CR of a CR LF.
QString Cp932ToDisplay(const QByteArray& bytes);

// Decodes the bytes of the view in its encoding: CP932 as above; UTF-8 and
// EUC-JP leniently, each invalid byte a U+FFFD, NUL and line breaks as above.
// Any other encoding is taken as UTF-8 (the view never holds one).
QString BytesToDisplay(const QByteArray& bytes, EncodingId encoding);
