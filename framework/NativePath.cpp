#include "NativePath.h"

#include <QDir>
#include <QList>
#include <QStringDecoder>
#include <QStringList>

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

bool IsEscapedByte(const QString& s, qsizetype i)
{
    const char16_t c = s[i].unicode();
    return c >= 0xDC80 && c <= 0xDCFF && (i == 0 || !s[i - 1].isHighSurrogate());
}

bool DecodesCleanly(QStringDecoder&& decoder, QByteArrayView bytes, QString* out)
{
    QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return false;
    if (out)
        *out = text;
    return true;
}

bool IsUtf8(QByteArrayView bytes, QString* out = nullptr)
{
    return DecodesCleanly(QStringDecoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless),
                          bytes, out);
}

// Length of the UTF-8 sequence that a lead byte announces (0: not a lead).
int SequenceLength(unsigned char lead)
{
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return 2;
    if (lead >= 0xE0 && lead <= 0xEF)
        return 3;
    if (lead >= 0xF0 && lead <= 0xF4)
        return 4;
    return 0;
}

}  // namespace

QString PathFromNative(const QByteArray& bytes)
{
    QString text;
    if (IsUtf8(bytes, &text))
        return text;
    text.clear();
    qsizetype i = 0;
    while (i < bytes.size()) {
        const int length = SequenceLength(static_cast<unsigned char>(bytes[i]));
        QString one;
        if (length > 0 && i + length <= bytes.size() &&
            IsUtf8(QByteArrayView(bytes).sliced(i, length), &one)) {
            text += one;
            i += length;
        } else {
            text += QChar(char16_t(kEscapeBase + static_cast<unsigned char>(bytes[i])));
            ++i;
        }
    }
    return text;
}

QByteArray PathToNative(const QString& path)
{
    QByteArray bytes;
    qsizetype start = 0;
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (!IsEscapedByte(path, i))
            continue;
        bytes += QStringView(path).sliced(start, i - start).toUtf8();
        bytes += static_cast<char>(path[i].unicode() - kEscapeBase);
        start = i + 1;
    }
    bytes += QStringView(path).sliced(start).toUtf8();
    return bytes;
}

bool PathHasRawBytes(const QString& path)
{
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (IsEscapedByte(path, i))
            return true;
    }
    return false;
}

QString AbsolutePath(const QString& path)
{
    return QDir::cleanPath(path.startsWith(u'/') ? path : QDir::currentPath() + u'/' + path);
}

QString PathForDisplay(const QString& path)
{
    if (!PathHasRawBytes(path))
        return path;
    QStringList parts;
    for (const QByteArray& part : PathToNative(path).split('/')) {
        QString text;
        if (IsUtf8(part, &text) ||
            DecodesCleanly(QStringDecoder("windows-31j", QStringDecoder::Flag::Stateless), part,
                           &text))
            parts.append(text);
        else
            parts.append(QString::fromUtf8(part));
    }
    return parts.join(u'/');
}
