#include "Cp932.h"

#include "Sjis.h"

#include <QStringDecoder>

#include <array>
#include <memory>

namespace {

bool IsTrailByte(unsigned char c)
{
    return c >= 0x40 && c <= 0xFC && c != 0x7F;
}

// Every double-byte code decoded once by the system's CP932 converter; 0 marks
// a pair without a character.
class CPairTable {
public:
    CPairTable()
    {
        m_table.fill(0);
        QStringDecoder decoder("windows-31j", QStringDecoder::Flag::Stateless);
        for (int lead = 0x81; lead <= 0xFC; ++lead) {
            if (!IsSjisLeadByte(static_cast<unsigned char>(lead)))
                continue;
            for (int trail = 0x40; trail <= 0xFC; ++trail) {
                if (!IsTrailByte(static_cast<unsigned char>(trail)))
                    continue;
                const char pair[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                const QString s = decoder.decode(QByteArrayView(pair, 2));
                decoder.resetState();
                // The converter marks an unmapped pair with SUB (U+001A) or U+FFFD.
                if (s.size() == 1 && s[0] != QChar(0x1A) && s[0] != QChar(0xFFFD))
                    m_table[static_cast<size_t>(lead << 8 | trail)] = s[0].unicode();
            }
        }
    }
    char16_t Get(unsigned char lead, unsigned char trail) const
    {
        return m_table[static_cast<size_t>(lead << 8 | trail)];
    }

private:
    std::array<char16_t, 65536> m_table;
};

const CPairTable& Pairs()
{
    static const auto table = std::make_unique<CPairTable>();
    return *table;
}

}  // namespace

QString Cp932ToDisplay(const QByteArray& bytes)
{
    const CPairTable& pairs = Pairs();
    QString out(bytes.size(), Qt::Uninitialized);
    char16_t* dst = reinterpret_cast<char16_t*>(out.data());
    char16_t* const begin = dst;
    const auto* src = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        const unsigned char c = src[i];
        if (c < 0x80) {
            if (c == 0)
                *dst++ = u'\u2400';
            else if (c == '\r') {
                if (i + 1 < n && src[i + 1] == '\n')
                    ++i;
                *dst++ = u'\n';
            } else
                *dst++ = c;
        } else if (c >= 0xA1 && c <= 0xDF) {
            *dst++ = static_cast<char16_t>(0xFF61 + (c - 0xA1));
        } else if (IsSjisLeadByte(c) && i + 1 < n && IsTrailByte(src[i + 1])) {
            const char16_t u = pairs.Get(c, src[i + 1]);
            if (u != 0) {
                *dst++ = u;
                ++i;
            } else {
                // An unmapped pair still counts as one character, as Windows does.
                *dst++ = u'\uFFFD';
                ++i;
            }
        } else {
            *dst++ = u'\uFFFD';
        }
    }
    out.truncate(dst - begin);
    return out;
}
