// File names as the system gives them: bytes, not always UTF-8. A path held
// as a QString carries each byte that is not part of valid UTF-8 as one
// character U+DC80..U+DCFF, so that every name goes back to its own bytes.
#pragma once

#include <QByteArray>
#include <QString>

// Bytes to a path string (UTF-8 where it is valid, escaped bytes elsewhere).
QString PathFromNative(const QByteArray& bytes);
// The path's bytes, for the system's file calls.
QByteArray PathToNative(const QString& path);
// The path made absolute and clean by string work alone, so that names that
// are not UTF-8 keep their bytes.
QString AbsolutePath(const QString& path);
// True when the path holds bytes that are not UTF-8.
bool PathHasRawBytes(const QString& path);
// The path as a person reads it: each part as UTF-8, else as CP932, else
// with replacement characters for what neither decodes.
QString PathForDisplay(const QString& path);
