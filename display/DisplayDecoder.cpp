#include "DisplayDecoder.h"

#include "Sjis.h"

#include <QStringDecoder>

#include <iconv.h>

#include <array>
#include <memory>

namespace {

// What a NUL byte shows as: a symbol the IPA fonts have.
constexpr char16_t kNulGlyph = u'\u2205';

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

// Every EUC-JP double-byte code (A1..FE twice) and every JIS X 0212 code
// (8F, then A1..FE twice), decoded once by the converter the engine uses;
// 0 marks a code without a character.
class CEucTable {
public:
    CEucTable()
    {
        m_table.fill(0);
        iconv_t cd = iconv_open("UTF-16LE", ConverterName(EncodingId::EucJp));
        if (cd == reinterpret_cast<iconv_t>(-1))
            return;
        for (int plane = 0; plane < 2; ++plane) {
            for (int c1 = 0; c1 < 94; ++c1) {
                for (int c2 = 0; c2 < 94; ++c2) {
                    char in[3];
                    size_t inLen = 0;
                    if (plane == 1)
                        in[inLen++] = static_cast<char>(0x8F);
                    in[inLen++] = static_cast<char>(0xA1 + c1);
                    in[inLen++] = static_cast<char>(0xA1 + c2);
                    char outBuf[8];
                    char* src = in;
                    char* dst = outBuf;
                    size_t outLeft = sizeof outBuf;
                    iconv(cd, nullptr, nullptr, nullptr, nullptr);
                    if (iconv(cd, &src, &inLen, &dst, &outLeft) != static_cast<size_t>(-1) &&
                        inLen == 0 && dst - outBuf == 2) {
                        const auto u = static_cast<char16_t>(static_cast<unsigned char>(outBuf[0]) |
                                                             static_cast<unsigned char>(outBuf[1]) << 8);
                        m_table[static_cast<size_t>((plane * 94 + c1) * 94 + c2)] = u;
                    }
                }
            }
        }
        iconv_close(cd);
    }
    // plane 0: JIS X 0208 (two bytes), 1: JIS X 0212 (after 8F).
    char16_t Get(int plane, unsigned char b1, unsigned char b2) const
    {
        return m_table[static_cast<size_t>((plane * 94 + (b1 - 0xA1)) * 94 + (b2 - 0xA1))];
    }

private:
    std::array<char16_t, 2 * 94 * 94> m_table;
};

const CEucTable& EucCodes()
{
    static const auto table = std::make_unique<CEucTable>();
    return *table;
}

// Appends one ASCII byte as shown: NUL visible, CR LF and a lone CR one break.
inline qsizetype PutAscii(char16_t*& dst, const unsigned char* src, qsizetype i, qsizetype n)
{
    const unsigned char c = src[i];
    if (c == 0)
        *dst++ = kNulGlyph;
    else if (c == '\r') {
        if (i + 1 < n && src[i + 1] == '\n')
            ++i;
        *dst++ = u'\n';
    } else
        *dst++ = c;
    return i;
}

bool IsEucByte(unsigned char c)
{
    return c >= 0xA1 && c <= 0xFE;
}

QString EucJpToDisplay(const QByteArray& bytes)
{
    const CEucTable& codes = EucCodes();
    QString out(bytes.size(), Qt::Uninitialized);
    char16_t* dst = reinterpret_cast<char16_t*>(out.data());
    char16_t* const begin = dst;
    const auto* src = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        const unsigned char c = src[i];
        if (c < 0x80) {
            i = PutAscii(dst, src, i, n);
        } else if (IsEucByte(c) && i + 1 < n && IsEucByte(src[i + 1])) {
            const char16_t u = codes.Get(0, c, src[i + 1]);
            *dst++ = u ? u : u'\uFFFD';
            ++i;
        } else if (c == 0x8E && i + 1 < n && src[i + 1] >= 0xA1 && src[i + 1] <= 0xDF) {
            *dst++ = static_cast<char16_t>(0xFF61 + (src[i + 1] - 0xA1));
            ++i;
        } else if (c == 0x8F && i + 2 < n && IsEucByte(src[i + 1]) && IsEucByte(src[i + 2])) {
            const char16_t u = codes.Get(1, src[i + 1], src[i + 2]);
            *dst++ = u ? u : u'\uFFFD';
            i += 2;
        } else {
            *dst++ = u'\uFFFD';
        }
    }
    out.truncate(dst - begin);
    return out;
}

QString Utf8ToDisplay(const QByteArray& bytes)
{
    const QString decoded = QString::fromUtf8(bytes);
    // Most texts hold no NUL and no CR: then the decoded text is shown as is.
    if (!decoded.contains(QChar(0)) && !decoded.contains(u'\r'))
        return decoded;
    QString out(decoded.size(), Qt::Uninitialized);
    char16_t* dst = reinterpret_cast<char16_t*>(out.data());
    char16_t* const begin = dst;
    const char16_t* src = reinterpret_cast<const char16_t*>(decoded.constData());
    const qsizetype n = decoded.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (src[i] == 0)
            *dst++ = kNulGlyph;
        else if (src[i] == u'\r') {
            if (i + 1 < n && src[i + 1] == u'\n')
                ++i;
            *dst++ = u'\n';
        } else
            *dst++ = src[i];
    }
    out.truncate(dst - begin);
    return out;
}

}  // namespace

QString BytesToDisplay(const QByteArray& bytes, EncodingId encoding)
{
    switch (encoding) {
    case EncodingId::Cp932: return Cp932ToDisplay(bytes);
    case EncodingId::EucJp: return EucJpToDisplay(bytes);
    default: return Utf8ToDisplay(bytes);
    }
}

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
            i = PutAscii(dst, src, i, n);
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
