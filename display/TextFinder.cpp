#include "TextFinder.h"

#include <array>
#include <vector>

namespace {

// A folding mode: which of case and width are folded.
int ModeOf(const CFindOptions& options)
{
    return (options.bMatchCase ? 0 : 1) | (options.bMatchWidth ? 0 : 2);
}

constexpr int kFoldCase = 1;
constexpr int kFoldWidth = 2;

QString FoldString(QStringView text, int mode)
{
    QString out = text.toString();
    if (mode & kFoldWidth)
        out = out.normalized(QString::NormalizationForm_KC);
    if (mode & kFoldCase)
        out = out.toCaseFolded();
    return out;
}

// Entries of the per-character cache: 0 not looked up yet, kOne | c a single
// folded character c, kMany a longer result (taken the slow way).
constexpr char32_t kOne = 0x10000;
constexpr char32_t kMany = 0x20000;

// The folded form of one character when it is one character, else kMany.
char32_t FoldChar(char16_t c, int mode)
{
    if (c < 0x80) {
        if ((mode & kFoldCase) && c >= u'A' && c <= u'Z')
            return c + 0x20;
        return c;
    }
    if (QChar::isSurrogate(c))
        return kMany;
    static std::array<std::vector<char32_t>, 4> tables;
    std::vector<char32_t>& table = tables[static_cast<size_t>(mode)];
    if (table.empty())
        table.assign(0x10000, 0);
    char32_t& entry = table[c];
    if (entry == 0) {
        const QString folded = FoldString(QStringView(&c, 1), mode);
        entry = folded.size() == 1 ? (kOne | folded[0].unicode()) : kMany;
    }
    return entry == kMany ? kMany : entry & 0xFFFF;
}

// Whether c is normalised together with the character before it: a combining
// mark, or a character whose compatibility form begins with one (the
// half-width voiced sound marks ﾞ and ﾟ, which compose with the kana before).
bool JoinsPrevious(char16_t c)
{
    if (c < 0x300)
        return false;
    static std::vector<unsigned char> table;
    if (table.empty())
        table.assign(0x10000, 0);
    unsigned char& entry = table[c];
    if (entry == 0) {
        bool joins = QChar::combiningClass(c) != 0;
        if (!joins) {
            const QString decomposed = QChar::decomposition(c);
            joins = !decomposed.isEmpty() && QChar::combiningClass(decomposed[0].unicode()) != 0;
        }
        entry = joins ? 2 : 1;
    }
    return entry == 2;
}

}  // namespace

QString CTextFinder::Fold(QStringView text, const CFindOptions& options)
{
    return FoldString(text, ModeOf(options));
}

void CTextFinder::SetText(const QString& text, QChar hidden)
{
    m_strText = text;
    m_hidden = hidden;
    m_bBuilt = false;
}

void CTextFinder::SetOptions(const CFindOptions& options)
{
    if (options == m_options)
        return;
    m_options = options;
    m_bBuilt = false;
}

void CTextFinder::Build()
{
    m_bBuilt = true;
    const int mode = ModeOf(m_options);
    const char16_t hidden = m_hidden.unicode();
    const auto* p = reinterpret_cast<const char16_t*>(m_strText.constData());
    const qsizetype n = m_strText.size();
    m_strFolded.clear();
    m_strFolded.reserve(n);
    m_arrFrom.clear();
    m_arrFrom.reserve(n);
    m_arrTo.clear();
    m_arrTo.reserve(n);
    const auto append = [this](QChar c, qsizetype from, qsizetype to) {
        m_strFolded.append(c);
        m_arrFrom.append(from);
        m_arrTo.append(to);
    };

    for (qsizetype i = 0; i < n;) {
        const char16_t c = p[i];
        if (c == hidden) {
            ++i;
            continue;
        }
        // One unit folded as a whole: a character (or surrogate pair) with
        // the marks that join it, hidden characters between them skipped.
        qsizetype end = i + 1;
        if (QChar::isHighSurrogate(c) && end < n && QChar::isLowSurrogate(p[end]))
            ++end;
        bool single = end == i + 1;
        if (mode & kFoldWidth) {
            for (qsizetype k = end; k < n; ++k) {
                if (p[k] == hidden)
                    continue;
                if (!JoinsPrevious(p[k]))
                    break;
                single = false;
                end = k + 1;
            }
        }
        if (single) {
            const char32_t folded = mode ? FoldChar(c, mode) : c;
            if (folded != kMany) {
                append(QChar(static_cast<char16_t>(folded)), i, end);
                i = end;
                continue;
            }
        }
        QString unit;
        for (qsizetype k = i; k < end; ++k) {
            if (p[k] != hidden)
                unit.append(QChar(p[k]));
        }
        for (QChar f : FoldString(unit, mode))
            append(f, i, end);
        i = end;
    }
}

QList<CTextMatch> CTextFinder::FindAll(QStringView pattern)
{
    QList<CTextMatch> matches;
    const QString folded = Fold(pattern, m_options);
    if (folded.isEmpty())
        return matches;
    if (!m_bBuilt)
        Build();
    for (qsizetype at = m_strFolded.indexOf(folded); at >= 0;
         at = m_strFolded.indexOf(folded, at + folded.size())) {
        const CTextMatch match{m_arrFrom[at], m_arrTo[at + folded.size() - 1]};
        // Two matches inside one expanded character ("⑪" is "11") are one.
        if (!matches.isEmpty() && match.start < matches.last().end)
            continue;
        matches.append(match);
    }
    return matches;
}
