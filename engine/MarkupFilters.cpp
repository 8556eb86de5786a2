// Both filters copy the kept bytes down over the removed ones with one write
// cursor, so each runs in a single pass over the text.
#include "MarkupFilters.h"

#include <cstring>

namespace {

// What a filter records of the stretches it removes: nothing (the usual
// filter, at no cost), or each of them, for the edits.
struct CNoRemovals {
    void Add(std::size_t /*from*/, std::size_t /*to*/) {}
};

struct CRemovals {
    void Add(std::size_t from, std::size_t to)
    {
        m_arr.push_back({static_cast<std::int64_t>(from), static_cast<std::int64_t>(to - from)});
    }
    std::vector<CRemoval> m_arr;
};

template <class Removals>
void StripHtmlTagsImpl(CByteString& text, Removals& removals)
{
    const std::size_t n = text.size();
    char* s = text.data();
    std::size_t w = 0;  // write cursor: the text so far is s[0, w)
    std::size_t i = 0;  // read cursor: the rest of the text is s[i, n)
    while (i < n) {
        if (s[i] == '<') {
            const void* close = std::memchr(s + i + 1, '>', n - i - 1);
            if (!close) {
                // No ">" after this "<": nothing from here on is a tag.
                std::memmove(s + w, s + i, n - i);
                w += n - i;
                i = n;
                break;
            }
            const std::size_t end = static_cast<std::size_t>(static_cast<const char*>(close) - s) + 1;
            removals.Add(i, end);
            i = end;
            continue;
        }
        s[w++] = s[i++];
    }
    text.resize(w);
}

template <class Removals>
void StripCommentsImpl(CByteString& text, Removals& removals)
{
    const std::size_t n = text.size();
    char* s = text.data();
    std::size_t w = 0;
    std::size_t i = 0;
    // Once a search has failed, every later one fails as well: remember it so
    // that unterminated markers cost no second search.
    bool noBlockEnd = false;
    bool noLineEnd = false;
    while (i < n) {
        if (s[i] == '/' && i + 1 < n) {
            if (s[i + 1] == '*' && !noBlockEnd) {
                std::size_t k = i + 2;
                while (k + 1 < n && !(s[k] == '*' && s[k + 1] == '/')) ++k;
                if (k + 1 < n) {
                    removals.Add(i, k + 2);
                    i = k + 2;  // the comment and both markers go
                    continue;
                }
                noBlockEnd = true;
            } else if (s[i + 1] == '/' && !noLineEnd) {
                const void* lf = std::memchr(s + i + 2, '\n', n - i - 2);
                if (lf) {
                    // Up to the line break: a CR right before the LF stays.
                    std::size_t k = static_cast<std::size_t>(static_cast<const char*>(lf) - s);
                    if (s[k - 1] == '\r') --k;
                    removals.Add(i, k);
                    i = k;
                    continue;
                }
                noLineEnd = true;
            }
        }
        s[w++] = s[i++];
    }
    text.resize(w);
}

// Runs the filter, recording what it removes in the edits when asked.
template <void (*Plain)(CByteString&, CNoRemovals&), void (*Recorded)(CByteString&, CRemovals&)>
void Filter(CByteString& text, std::vector<CEdit>* edits)
{
    if (!edits) {
        CNoRemovals none;
        Plain(text, none);
        return;
    }
    CRemovals removals;
    Recorded(text, removals);
    RecordRemovals(*edits, removals.m_arr);
}

}  // namespace

void StripHtmlTags(CByteString& text, std::vector<CEdit>* edits)
{
    Filter<StripHtmlTagsImpl<CNoRemovals>, StripHtmlTagsImpl<CRemovals>>(text, edits);
}

void StripComments(CByteString& text, std::vector<CEdit>* edits)
{
    Filter<StripCommentsImpl<CNoRemovals>, StripCommentsImpl<CRemovals>>(text, edits);
}
