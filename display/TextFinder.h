// Finding every occurrence of a word in the text as shown, optionally without
// regard to case and to full-width or half-width forms. No widgets: the find
// bar gives it the text and draws what it returns.
#pragma once

#include <QChar>
#include <QList>
#include <QString>
#include <QStringView>

struct CFindOptions {
    bool bMatchCase = false;   // 大文字と小文字を区別
    bool bMatchWidth = false;  // 全角と半角を区別

    bool operator==(const CFindOptions&) const = default;
};

// One occurrence: [start, end) in the text that was given.
struct CTextMatch {
    qsizetype start = 0;
    qsizetype end = 0;

    bool operator==(const CTextMatch&) const = default;
};

class CTextFinder {
public:
    // The text to search. Every character equal to hidden is not part of it:
    // it neither matches nor keeps a match from spanning it.
    void SetText(const QString& text, QChar hidden);
    void SetOptions(const CFindOptions& options);
    const CFindOptions& GetOptions() const { return m_options; }

    // Every occurrence of pattern, in order, not overlapping; none for an
    // empty pattern.
    QList<CTextMatch> FindAll(QStringView pattern);

    // The form both sides are compared in: with bMatchWidth off, Unicode
    // compatibility normalisation (NFKC: ＡＢＣ is ABC, ｶﾞ is ガ); with
    // bMatchCase off, case folding.
    static QString Fold(QStringView text, const CFindOptions& options);

private:
    void Build();

    QString m_strText;
    QChar m_hidden;
    CFindOptions m_options;
    bool m_bBuilt = false;
    // The folded text and, for each of its characters, the span of the
    // given text that it came from.
    QString m_strFolded;
    QList<qsizetype> m_arrFrom;
    QList<qsizetype> m_arrTo;
};
