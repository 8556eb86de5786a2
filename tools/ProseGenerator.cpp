#include "ProseGenerator.h"

#include "Encoding.h"

#include <stdexcept>
#include <vector>

namespace prose {

namespace {

// The fragments, in UTF-8; converted once.
const char* const kOpeners[] = {
    "朝から雨が降っていて", "駅前の本屋に寄ったら", "昨日の会議では", "祖母の家の庭には",
    "新しい机を買ったので", "夕方になると", "その話を聞いたとき", "窓を開けると",
    "いつもの道を歩いていると", "週末には", "久しぶりに手紙を書こうとして", "山の上の小さな村では",
    "春が来るたびに", "電車が遅れたので", "子どもたちは", "台所の棚を片付けていたら",
};
const char* const kMiddles[] = {
    "古い地図が一枚出てきました", "猫が静かに眠っています", "誰もが少しだけ笑いました",
    "遠くで鐘の音が聞こえます", "思ったより時間がかかりました", "桜の花がまだ残っています",
    "湯気の立つお茶を飲みます", "知らない人に道を聞かれました", "窓の外を鳥が飛んでいきます",
    "皆で同じ歌を歌いました", "小さな川に沿って歩きます", "机の上に本が積んであります",
    "夜空には星がたくさん見えます", "大事な書類を忘れてしまいました", "新しい計画を考えています",
};
const char* const kEndings[] = {
    "。", "。", "。", "よ。", "ね。", "と思います。", "そうです。", "のです。",
};
const char* const kJoiners[] = {
    "、", "、", "、", "なので、", "だから、", "、そして", "、けれども",
};
const char* const kShort[] = {
    "はい、そうです。", "いいえ、違います。", "本当に静かな日です。", "それでも、行きます。",
    "なるほど、わかりました。", "ええ、また明日。",
};

struct Fragments {
    std::vector<std::string> openers, middles, endings, joiners, shorts;
};

const Fragments& Cp932Fragments()
{
    static const Fragments f = [] {
        Fragments out;
        for (const char* s : kOpeners) out.openers.push_back(ToCp932(s));
        for (const char* s : kMiddles) out.middles.push_back(ToCp932(s));
        for (const char* s : kEndings) out.endings.push_back(ToCp932(s));
        for (const char* s : kJoiners) out.joiners.push_back(ToCp932(s));
        for (const char* s : kShort) out.shorts.push_back(ToCp932(s));
        return out;
    }();
    return f;
}

// A small generator of its own, so the prose is the same everywhere.
class Draw {
public:
    explicit Draw(std::uint32_t seed) : m_state(seed * 2654435761u + 1) {}
    std::size_t Below(std::size_t n)
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        return m_state % n;
    }
    template <class T> const T& Pick(const std::vector<T>& v) { return v[Below(v.size())]; }

private:
    std::uint32_t m_state;
};

void AppendSentence(std::string& out, Draw& draw, const Fragments& f)
{
    if (draw.Below(6) == 0) {
        out += draw.Pick(f.shorts);
        return;
    }
    out += draw.Pick(f.openers);
    out += draw.Pick(f.joiners);
    out += draw.Pick(f.middles);
    if (draw.Below(3) == 0) {
        out += draw.Pick(f.joiners);
        out += draw.Pick(f.middles);
    }
    out += draw.Pick(f.endings);
}

}  // namespace

std::string ToCp932(std::string_view utf8)
{
    std::string out;
    CConvertError error;
    if (!EncodeFromUtf8(utf8, CEncoding{EncodingId::Cp932}, out, &error))
        throw std::runtime_error("conversion failed at line " + std::to_string(error.m_nLine));
    return out;
}

std::string Generate(std::size_t bytes, std::uint32_t seed)
{
    const Fragments& f = Cp932Fragments();
    Draw draw(seed);
    std::string out;
    out.reserve(bytes + 256);
    int sentences = 0;
    while (out.size() < bytes) {
        AppendSentence(out, draw, f);
        if (++sentences % 6 == 0) out += "\r\n";
    }
    return out;
}

std::string GenerateMarkup(std::size_t bytes, int tags, int comments, std::uint32_t seed)
{
    static const char* const kTags[] = {"<p>", "</p>", "<b>", "</b>", "<a href=\"x.html\">", "</a>", "<br>"};
    const Fragments& f = Cp932Fragments();
    Draw draw(seed);
    const int pieces = tags + comments;
    // Room for the prose between the markup pieces.
    const std::size_t markupBytes = static_cast<std::size_t>(tags) * 5 + static_cast<std::size_t>(comments) * 14;
    const std::size_t gap = bytes > markupBytes ? (bytes - markupBytes) / static_cast<std::size_t>(pieces + 1) : 0;
    std::string out;
    out.reserve(bytes + 1024);
    std::string filler;
    int tagsLeft = tags;
    int commentsLeft = comments;
    while (tagsLeft + commentsLeft > 0) {
        while (filler.size() < gap) AppendSentence(filler, draw, f);
        out.append(filler, 0, gap - gap % 2);  // whole double-byte characters
        filler.erase(0, gap - gap % 2);
        const bool tag = commentsLeft == 0 || (tagsLeft > 0 && draw.Below(static_cast<std::size_t>(tagsLeft) + static_cast<std::size_t>(commentsLeft)) <
                                                                   static_cast<std::size_t>(tagsLeft));
        if (tag) {
            out += kTags[draw.Below(sizeof kTags / sizeof kTags[0])];
            --tagsLeft;
        } else {
            out += commentsLeft % 2 ? "/* note */" : "// note\r\n";
            --commentsLeft;
        }
    }
    while (out.size() < bytes) AppendSentence(out, draw, f);
    return out;
}

}  // namespace prose
