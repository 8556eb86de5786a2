#include "KeyIndex.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstring>
#include <limits>
#include <numeric>
#include <stdexcept>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <cpuid.h>
#endif

namespace {

// While a run is sorted, m_nPrefix holds the eight bytes of the key from the
// run's depth on; the sort leaves it as it found it.
using Sortable = CSortedKey;

std::atomic<bool> g_bBitExtractAllowed{true};

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define JESTPAD_BIT_EXTRACT 1
// The processor's bit extract and deposit (BMI2's pext and pdep), in
// assembly, so that the engine still builds for any x86-64 and uses them
// only where QuickBitExtract finds them.
inline std::uint64_t ExtractBits(std::uint64_t x, std::uint64_t mask)
{
    std::uint64_t out;
    asm("pextq %2, %1, %0" : "=r"(out) : "r"(x), "rm"(mask));
    return out;
}

inline std::uint64_t DepositBits(std::uint64_t x, std::uint64_t mask)
{
    std::uint64_t out;
    asm("pdepq %2, %1, %0" : "=r"(out) : "r"(x), "rm"(mask));
    return out;
}

// Whether the processor has them and does each in a cycle or so: Intel's
// since 2013 and AMD's from family 19h (Zen 3) on. AMD's before take dozens
// of cycles a bit, so there the tables serve.
bool QuickBitExtract()
{
    static const bool quick = [] {
        __builtin_cpu_init();
        if (!__builtin_cpu_supports("bmi2"))
            return false;
        if (__builtin_cpu_is("intel"))
            return true;
        unsigned a = 0, b = 0, c = 0, d = 0;
        if (!__builtin_cpu_is("amd") || __get_cpuid(1, &a, &b, &c, &d) == 0)
            return false;
        const unsigned base = a >> 8 & 0xF;
        return (base == 0xF ? base + (a >> 20 & 0xFF) : base) >= 0x19;
    }();
    return quick && g_bBitExtractAllowed.load(std::memory_order_relaxed);
}
#else
bool QuickBitExtract()
{
    return false;
}
#endif

// Keys in sorted order have their spans and bytes anywhere: for the item
// i of a[0, n), asks for the span of the key 64 items on, and for the bytes
// from depth on of the key 32 items on, whose span was asked for 32 items
// before.
void PrefetchKey(std::string_view bytes, const std::vector<CKeySpan>& keys, const Sortable* a, std::size_t n,
                 std::size_t i, std::size_t depth)
{
    if (i + 64 < n)
        __builtin_prefetch(&keys[a[i + 64].m_nKey]);
    if (i + 32 < n && a[i + 32].m_nLength > depth)
        __builtin_prefetch(bytes.data() + keys[a[i + 32].m_nKey].offset + depth);
}

// Bytes depth.. depth + 7 of a key, a shorter rest padded with zeros; the
// key lies in `bytes`, which may be read past its end.
// Inlined: SortKeys calls it once a key.
__attribute__((always_inline)) inline std::uint64_t Chunk(std::string_view key, std::size_t depth,
                                                          std::string_view bytes)
{
    std::uint64_t v = 0;
    const char* const from = key.data() + depth;
    if (std::endian::native == std::endian::little && depth < key.size() && from + 8 <= bytes.data() + bytes.size()) {
        std::memcpy(&v, from, 8);
        v = __builtin_bswap64(v);
        const std::size_t rest = key.size() - depth;
        return rest >= 8 ? v : v & ~(~std::uint64_t{0} >> (8 * rest));
    }
    for (std::size_t i = depth; i < depth + 8; ++i) v = v << 8 | (i < key.size() ? static_cast<unsigned char>(key[i]) : 0u);
    return v;
}

// Deals a[0, n) in place into runs by digit (0 .. N-1), in digit order;
// count[d] is how many items have digit d.
template <std::size_t N, class Digit>
void Deal(Sortable* a, const std::size_t (&count)[N], const Digit& digit)
{
    std::size_t next[N], end[N];
    std::size_t at = 0;
    for (std::size_t b = 0; b < N; ++b) {
        next[b] = at;
        at += count[b];
        end[b] = at;
    }
    for (std::size_t b = 0; b < N; ++b) {
        while (next[b] < end[b]) {
            Sortable item = a[next[b]];
            for (std::size_t d = digit(item); d != b; d = digit(item)) std::swap(item, a[next[d]++]);
            a[next[b]++] = item;
        }
    }
}

// Sorts keys most significant byte first: every item of a[0, n) shares its
// key's first `depth` bytes, and a[i].m_nPrefix holds the next eight. Each pass
// deals the items by one byte of the chunk (bytes that all share are
// skipped); a run whose chunks are all equal is dealt by length into the
// keys that end within the chunk (equal keys) and the rest, which go on
// eight bytes deeper. Short runs go to std::sort. Linear in the bytes that
// tell the keys apart, and so in the items alone where many keys are equal.
class CKeySorter {
public:
    CKeySorter(std::string_view bytes, const std::vector<CKeySpan>& keys) : m_bytes(bytes), m_keys(keys) {}

    // Whether the sort met two equal keys.
    bool m_bEqual = false;

    // How the items of a run spread: the bits in which their chunks differ
    // (set in some chunk but not in all), and their lengths.
    struct Spread {
        std::uint64_t some = 0, all = ~std::uint64_t{0};
        std::uint32_t shortest = ~std::uint32_t{0}, longest = 0;

        void Take(const Sortable& x)
        {
            some |= x.m_nPrefix;
            all &= x.m_nPrefix;
            shortest = std::min(shortest, x.m_nLength);
            longest = std::max(longest, x.m_nLength);
        }
        std::uint64_t Differ() const { return some ^ all; }
    };

    // Sorts a[0, n); `known`, when given, is its spread.
    void Sort(Sortable* a, std::size_t n, std::size_t depth, int shift = 56, const Spread* known = nullptr)
    {
        constexpr std::size_t kShortRun = 64;
        // Runs this large are sorted least digit first, not in place.
        constexpr std::size_t kLargeRun = std::size_t{1} << 14;
        if (n < kShortRun) {
            std::sort(a, a + n, [&](const Sortable& x, const Sortable& y) {
                if (x.m_nPrefix != y.m_nPrefix) return x.m_nPrefix < y.m_nPrefix;
                return Key(x).substr(depth).compare(Key(y).substr(depth)) < 0;
            });
            for (std::size_t i = 1; i < n && !m_bEqual; ++i) {
                const Sortable &x = a[i - 1], &y = a[i];
                m_bEqual = x.m_nPrefix == y.m_nPrefix && x.m_nLength == y.m_nLength &&
                           (x.m_nLength <= depth + 8 || Key(x).substr(depth) == Key(y).substr(depth));
            }
            return;
        }
        Spread spread;
        if (known) {
            spread = *known;
        } else {
            for (std::size_t i = 0; i < n; ++i)
                spread.Take(a[i]);
        }
        std::uint64_t differ = spread.Differ();
        if (shift < 56) differ &= (std::uint64_t{1} << (shift + 8)) - 1;
        if (differ == 0) {
            Deeper(a, n, depth);
            return;
        }
        if (n >= kLargeRun) {
            const Packed packed = ByPackedChunk(a, n, differ, spread.shortest, spread.longest);
            if (packed == Packed::kNot)
                ByLeastByteFirst(a, n, differ, Scratch(n));
            for (std::size_t i = 0, j = 1; i < n && packed != Packed::kAllApart; i = j++) {
                while (j < n && a[j].m_nPrefix == a[i].m_nPrefix)
                    PrefetchKey(m_bytes, m_keys, a, n, j++, depth + 8);
                if (j - i > 1) Deeper(a + i, j - i, depth);
            }
            return;
        }
        shift = (63 - std::countl_zero(differ)) / 8 * 8;
        const auto digit = [shift](const Sortable& x) { return static_cast<std::size_t>(x.m_nPrefix >> shift) & 0xFF; };
        std::size_t count[256] = {};
        for (std::size_t i = 0; i < n; ++i) ++count[digit(a[i])];
        Deal(a, count, digit);
        for (std::size_t b = 0, from = 0; b < 256; from += count[b++]) {
            if (count[b] > 1) Sort(a + from, count[b], depth, shift - 8);
        }
    }

private:
    std::string_view Key(const Sortable& x) const { return m_bytes.substr(m_keys[x.m_nKey].offset, x.m_nLength); }

    // Sorts a[0, n) by chunk, a byte at a time from the last, through
    // scratch: one pass for each byte in which the chunks differ, each
    // moving every item once. A pass deals the two halves side by side, each
    // into its own part of every run, the first half's before the second's
    // (so the sort stays stable): two places to write are counted at once,
    // and neither waits on the other.
    static void ByLeastByteFirst(Sortable* a, std::size_t n, std::uint64_t differ, Sortable* scratch)
    {
        const std::size_t half = n / 2;  // the second half takes an odd last item
        Sortable* from = a;
        Sortable* to = scratch;
        for (int b = 0; b < 8; ++b) {
            if ((differ >> (8 * b) & 0xFF) == 0) continue;
            const int shift = 8 * b;
            const auto digit = [shift](const Sortable& x) {
                return static_cast<std::size_t>(x.m_nPrefix >> shift) & 0xFF;
            };
            const Sortable* const upper = from + half;
            std::uint32_t count[2][256] = {};
            for (std::size_t i = 0; i < half; ++i) {
                ++count[0][digit(from[i])];
                ++count[1][digit(upper[i])];
            }
            if (n % 2 != 0)
                ++count[1][digit(from[n - 1])];
            std::size_t first[256], second[256];
            for (std::size_t d = 0, at = 0; d < 256; ++d) {
                first[d] = at;
                second[d] = at + count[0][d];
                at = second[d] + count[1][d];
            }
            for (std::size_t i = 0; i < half; ++i) {
                const Sortable x = from[i], y = upper[i];
                to[first[digit(x)]++] = x;
                to[second[digit(y)]++] = y;
            }
            if (n % 2 != 0)
                to[second[digit(from[n - 1])]++] = from[n - 1];
            std::swap(from, to);
        }
        if (from != a) std::copy(from, from + n, a);
    }

    // Sorts a[0, n) by chunk as ByLeastByteFirst does, when the bits in
    // which the chunks differ and the spread of the lengths (shortest to
    // longest) fit in 32: each item is then packed into eight bytes (those
    // bits, the length below them, the key's number), which are sorted in
    // a's own room, its first half and its second taking turns, and
    // unpacked. Half the bytes to move, no scratch to make, and a pass for
    // every twelve bits that differ, where digits or kana leave half of each
    // byte alike. Tells whether two chunks came out alike, or, with a
    // unchanged, that they did not fit.
    enum class Packed : std::uint8_t { kNot, kAllApart, kSomeAlike };
    static Packed ByPackedChunk(Sortable* a, std::size_t n, std::uint64_t differ, std::uint32_t shortest,
                              std::uint32_t longest)
    {
        // Each byte of the chunk gives its low bits up to the highest that
        // differs, the most significant byte the highest packed bits; the
        // length takes the `spare` bits below.
        int source[32];  // the chunk's bit that each packed bit from `spare` on holds
        int spare = 32;
        for (int b = 7; b >= 0; --b) {
            for (int w = static_cast<int>(std::bit_width(differ >> (8 * b) & 0xFF)); w > 0; --w) {
                if (--spare < 0)
                    return Packed::kNot;
                source[spare] = 8 * b + w - 1;
            }
        }
        if (static_cast<int>(std::bit_width(longest - shortest)) > spare)
            return Packed::kNot;

        // The packed bits keep their order, so packing extracts the chunk's
        // `selected` bits, and unpacking deposits them back over the bits
        // that every chunk has alike: by the processor where it does so
        // quickly, else through tables. pack[b] places byte b's bits;
        // unpack[k] puts the k-th eight packed bits back.
        const bool extract = QuickBitExtract();
        std::uint64_t selected = 0;
        for (int q = spare; q < 32; ++q)
            selected |= std::uint64_t{1} << source[q];
        const std::uint64_t alike = a[0].m_nPrefix & ~selected;
        std::uint32_t pack[8][256] = {};
        std::uint64_t unpack[4][256] = {};
        for (int q = spare; q < 32 && !extract; ++q) {
            const int bit = source[q], b = bit / 8;
            for (std::uint32_t v = 0; v < 256; ++v) {
                if (v >> (bit % 8) & 1)
                    pack[b][v] |= 1u << q;
                if (v >> (q % 8) & 1)
                    unpack[q / 8][v] |= std::uint64_t{1} << bit;
            }
        }
        const auto packed = [&]<bool kExtract>(std::uint64_t x) {
#ifdef JESTPAD_BIT_EXTRACT
            if constexpr (kExtract)
                return static_cast<std::uint32_t>(ExtractBits(x, selected) << spare);
#endif
            return pack[0][x & 0xFF] | pack[1][x >> 8 & 0xFF] | pack[2][x >> 16 & 0xFF] | pack[3][x >> 24 & 0xFF] |
                   pack[4][x >> 32 & 0xFF] | pack[5][x >> 40 & 0xFF] | pack[6][x >> 48 & 0xFF] | pack[7][x >> 56];
        };
        const auto unpacked = [&]<bool kExtract>(std::uint32_t v) {
#ifdef JESTPAD_BIT_EXTRACT
            if constexpr (kExtract)
                return alike | DepositBits(v >> spare, selected);
#endif
            return alike | unpack[0][v & 0xFF] | unpack[1][v >> 8 & 0xFF] | unpack[2][v >> 16 & 0xFF] |
                   unpack[3][v >> 24];
        };

        // The i-th packed item lies within item i / 2, which has been read.
        auto* const room = reinterpret_cast<unsigned char*>(a);
        const auto at = [room](std::size_t i) { return room + 8 * i; };
        // As few digits of up to 12 bits as the packed bits need, the last
        // ending at the top; digit k is bits[k] bits from low[k].
        constexpr int kMostBits = 12;
        const int chunkBits = 32 - spare;
        const int passes = (chunkBits + kMostBits - 1) / kMostBits;
        const int width = (chunkBits + passes - 1) / passes;
        int low[3], bits[3];
        for (int k = 0; k < passes; ++k) {
            low[k] = std::max(0, 32 - width * (passes - k));
            bits[k] = 32 - width * (passes - k - 1) - low[k];
        }
        std::vector<std::array<std::uint32_t, 1 << kMostBits>> count(static_cast<std::size_t>(passes));
        // Packs every item and counts its digits; the number of digits is
        // fixed at compile time, so that the counting loop unrolls.
        const auto packAll = [&]<int kPasses, bool kExtract>() {
            std::uint32_t* digitCount[kPasses];
            std::uint32_t mask[kPasses];
            for (int k = 0; k < kPasses; ++k) {
                digitCount[k] = count[static_cast<std::size_t>(k)].data();
                mask[k] = (1u << bits[k]) - 1;
            }
            for (std::size_t i = 0; i < n; ++i) {
                const std::uint32_t v =
                    packed.template operator()<kExtract>(a[i].m_nPrefix) | (a[i].m_nLength - shortest);
                for (int k = 0; k < kPasses; ++k)
                    ++digitCount[k][v >> low[k] & mask[k]];
                const std::uint64_t item = std::uint64_t{v} << 32 | a[i].m_nKey;
                std::memcpy(at(i), &item, 8);
            }
        };
        const auto packWith = [&]<bool kExtract>() {
            if (passes == 1)
                packAll.template operator()<1, kExtract>();
            else if (passes == 2)
                packAll.template operator()<2, kExtract>();
            else
                packAll.template operator()<3, kExtract>();
        };
        if (extract)
            packWith.template operator()<true>();
        else
            packWith.template operator()<false>();
        std::size_t from = 0, to = n;  // where the packed items are, and where they go
        std::vector<std::size_t> next(std::size_t{1} << kMostBits);
        for (int k = 0; k < passes; ++k) {
            for (std::size_t d = 0, start = to; d < (std::size_t{1} << bits[k]); ++d)
                start += (next[d] = start, count[static_cast<std::size_t>(k)][d]);
            const int shift = 32 + low[k];
            const std::uint64_t mask = (std::uint64_t{1} << bits[k]) - 1;
            for (std::size_t i = 0; i < n; ++i) {
                std::uint64_t x;
                std::memcpy(&x, at(from + i), 8);
                std::memcpy(at(next[x >> shift & mask]++), &x, 8);
            }
            std::swap(from, to);
        }

        // Unpacked from the first half last item first, from the second first
        // item first: item i covers packed items 2i and 2i + 1, so it never
        // overwrites one still to be read.
        const std::uint32_t lengthMask = (1u << spare) - 1;
        std::uint64_t before = ~std::uint64_t{0};  // the packed bits of the item unpacked last; at first none
        bool alikeSeen = false;
        const auto unpackAll = [&]<bool kExtract>() {
            const auto unpackAt = [&](std::size_t i) {
                std::uint64_t x;
                std::memcpy(&x, at(from + i), 8);
                const auto v = static_cast<std::uint32_t>(x >> 32);
                alikeSeen = alikeSeen || (v ^ before) >> spare == 0;
                before = v;
                a[i] = {unpacked.template operator()<kExtract>(v), shortest + (v & lengthMask),
                        static_cast<std::uint32_t>(x)};
            };
            if (from == 0) {
                for (std::size_t i = n; i-- > 0;)
                    unpackAt(i);
            } else {
                for (std::size_t i = 0; i < n; ++i)
                    unpackAt(i);
            }
        };
        if (extract)
            unpackAll.template operator()<true>();
        else
            unpackAll.template operator()<false>();
        return alikeSeen ? Packed::kSomeAlike : Packed::kAllApart;
    }

    // Room to sort n items through; made once, as large as the first (and
    // largest) run that needs it.
    Sortable* Scratch(std::size_t n)
    {
        if (m_scratch.size() < n) m_scratch.resize(n);
        return m_scratch.data();
    }

    // Items whose keys agree on bytes depth .. depth + 7: the keys that end
    // there first, shorter before longer, then the rest by their next bytes.
    void Deeper(Sortable* a, std::size_t n, std::size_t depth)
    {
        const std::size_t limit = depth + 8;
        const auto digit = [&](const Sortable& x) { return x.m_nLength > limit ? std::size_t{9} : x.m_nLength - depth; };
        std::size_t count[10] = {};
        for (std::size_t i = 0; i < n; ++i) ++count[digit(a[i])];
        // Keys of one length that end within the chunk are equal.
        m_bEqual = m_bEqual || std::any_of(count, count + 9, [](std::size_t c) { return c > 1; });
        if (count[9] != n) Deal(a, count, digit);
        Sortable* const rest = a + (n - count[9]);
        const std::uint64_t chunk = a[0].m_nPrefix;
        for (std::size_t i = 0; i < count[9]; ++i) {
            PrefetchKey(m_bytes, m_keys, rest, count[9], i, limit);
            rest[i].m_nPrefix = Chunk(Key(rest[i]), limit, m_bytes);
        }
        Sort(rest, count[9], limit);
        // Each item leaves with the chunk they all came with.
        for (std::size_t i = 0; i < count[9]; ++i)
            rest[i].m_nPrefix = chunk;
    }

    std::string_view m_bytes;
    const std::vector<CKeySpan>& m_keys;
    std::vector<Sortable> m_scratch;
};

}  // namespace

void AllowQuickBitExtract(bool allowed)
{
    g_bBitExtractAllowed.store(allowed, std::memory_order_relaxed);
}

CSortedKeys SortKeys(std::string_view bytes, const std::vector<CKeySpan>& keys, bool* equal)
{
    if (keys.size() > std::numeric_limits<std::int32_t>::max()) throw std::length_error("too many rule keys to sort");
    CSortedKeys items(keys.size());
    // Rule files are often written in order already; such keys need no sort.
    bool inOrder = true, equalSeen = false;
    CKeySorter::Spread spread;  // taken here, for the sort
    for (std::uint32_t k = 0; k < keys.size(); ++k) {
        const std::string_view key = bytes.substr(keys[k].offset, keys[k].length);
        items[k] = {Chunk(key, 0, bytes), keys[k].length, k};
        spread.Take(items[k]);
        if (k > 0 && inOrder && items[k].m_nPrefix <= items[k - 1].m_nPrefix) {
            const int order = items[k].m_nPrefix == items[k - 1].m_nPrefix
                                  ? bytes.substr(keys[k - 1].offset, keys[k - 1].length).compare(key)
                                  : 1;
            inOrder = order <= 0;
            equalSeen = equalSeen || order == 0;
        }
    }
    if (!inOrder) {
        CKeySorter sorter(bytes, keys);
        sorter.Sort(items.data(), items.size(), 0, 56, &spread);
        equalSeen = equalSeen || sorter.m_bEqual;
    }
    if (equal)
        *equal = equalSeen;
    return items;
}

CKeyGroups GroupKeys(std::string_view bytes, const std::vector<CKeySpan>& keys)
{
    CKeyGroups groups;
    std::vector<std::uint32_t>& groupOf = groups.m_arrGroupOf;
    CSortedKeys& sorted = groups.m_sorted;
    bool anyEqual = false;
    sorted = SortKeys(bytes, keys, &anyEqual);
    // All distinct: each key is its own group, and the sorted keys stand.
    if (!anyEqual)
        return groups;
    // Keys that agree on their first eight bytes and length are equal
    // unless they are longer.
    const auto equal = [&](const CSortedKey& a, const CSortedKey& b) {
        if (a.m_nPrefix != b.m_nPrefix || a.m_nLength != b.m_nLength)
            return false;
        return a.m_nLength <= 8 || bytes.substr(keys[a.m_nKey].offset + 8, a.m_nLength - 8) ==
                                       bytes.substr(keys[b.m_nKey].offset + 8, b.m_nLength - 8);
    };
    groupOf.resize(keys.size());
    // Equal keys lie next to each other in order: each joins the first of
    // them to come, which stands for them all in the sorted keys, kept in
    // place.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < sorted.size();) {
        std::size_t j = i + 1;
        std::uint32_t first = sorted[i].m_nKey;
        while (j < sorted.size() && equal(sorted[i], sorted[j])) first = std::min(first, sorted[j++].m_nKey);
        for (std::size_t e = i; e < j; ++e) groupOf[sorted[e].m_nKey] = first;
        sorted[kept] = sorted[i];
        sorted[kept++].m_nKey = first;
        i = j;
    }
    sorted.resize(kept);
    if (kept < sorted.capacity() / 2) sorted.shrink_to_fit();
    // Groups numbered as their first keys come; a first key comes before
    // every key that joins it.
    std::uint32_t count = 0;
    for (std::uint32_t k = 0; k < keys.size(); ++k) groupOf[k] = groupOf[k] == k ? count++ : groupOf[groupOf[k]];
    for (CSortedKey& g : sorted) g.m_nKey = groupOf[g.m_nKey];
    return groups;
}

CKeyIndex::CKeyIndex(std::shared_ptr<const std::string> bytes, const std::vector<CKeySpan>& keys)
    : CKeyIndex(bytes, keys, SortKeys(*bytes, keys))
{
}

CKeyIndex::CKeyIndex(std::shared_ptr<const std::string> bytes, const std::vector<CKeySpan>& keys,
                     const CSortedKeys& sorted)
    : m_pBytes(std::move(bytes)), m_pKeys(keys.data())
{
    if (keys.size() > std::numeric_limits<std::int32_t>::max()) throw std::length_error("too many rule keys to index");
    const std::string_view all(*m_pBytes);
    const auto key = [&](std::uint32_t g) { return all.substr(keys[g].offset, keys[g].length); };

    // Each task makes one node: the keys sorted[lo, hi) all share their
    // first `depth` bytes and reach this node.
    struct Task {
        std::uint32_t node, lo, hi, depth;
    };
    // A trie of n distinct keys has at most 2n slots; rule files seldom need
    // more than 1.1n, and room for 1.25n is made. Most slots are leaves.
    m_edgeBytes.reserve(keys.size() + keys.size() / 4);
    m_children.reserve(keys.size() + keys.size() / 4);
    m_nodes.reserve(keys.size() / 4 + 1);
    m_nodes.emplace_back();
    std::vector<Task> tasks{{0, 0, static_cast<std::uint32_t>(sorted.size()), 0}};
    // Inner nodes whose labels start where their first keys' bytes at
    // `from` lie: found a few thousand at a time, in a loop whose reads of
    // the spans (in no order) the processor overlaps, each span asked for
    // from memory as its node is made.
    struct Inner {
        std::uint32_t node, key, from;
    };
    constexpr std::size_t kInnerBatch = 4096;
    std::vector<Inner> inner;
    inner.reserve(kInnerBatch);
    const auto placeInner = [&] {
        for (const Inner& node : inner)
            m_nodes[node.node].labelStart = keys[node.key].offset + node.from;
        inner.clear();
    };
    // Pairs of bytes at which some key may match: the first two bytes of the
    // longer keys, and every pair that begins with a one-byte key; likewise
    // their first three bytes. Each is marked once: a key of one or two bytes
    // where it ends, the keys that share their first three bytes where the
    // edge to them takes in the third.
    const auto triple = [&](unsigned a, unsigned b, unsigned c) {
        const unsigned t = Triple(a, b, c);
        m_triples[t >> 6] |= std::uint64_t{1} << (t & 63);
    };
    const auto markStart = [&](const CSortedKey& k) {
        const auto a = static_cast<unsigned>(k.m_nPrefix >> 56);
        const auto b = static_cast<unsigned>(k.m_nPrefix >> 48 & 0xFF);
        if (k.m_nLength == 1) {
            for (unsigned second = 0; second < 256; ++second)
                SetPair(a << 8 | second);
            m_triples.fill(~std::uint64_t{0});
        } else if (k.m_nLength == 2) {
            SetPair(a << 8 | b);
            for (unsigned c = 0; c < 256; ++c)
                triple(a, b, c);
        } else {
            SetPair(a << 8 | b);
            triple(a, b, static_cast<unsigned>(k.m_nPrefix >> 40 & 0xFF));
        }
    };
    while (!tasks.empty()) {
        const Task t = tasks.back();
        tasks.pop_back();
        std::uint32_t lo = t.lo;
        // The key that ends here sorts first.
        if (lo < t.hi && sorted[lo].m_nLength == t.depth) {
            if (t.depth > 0)
                markStart(sorted[lo]);
            m_nodes[t.node].group = static_cast<std::int32_t>(sorted[lo++].m_nKey);
        }
        m_nodes[t.node].firstChild = static_cast<std::uint32_t>(m_children.size());
        const std::size_t pushed = tasks.size();
        // One child per byte at `depth`; its edge runs as far as all its keys
        // agree. The keys with that byte, sorted, end where a search that
        // doubles its step and then halves it finds.
        const auto byteAt = [&](std::uint32_t i) {
            return t.depth < 8 ? static_cast<unsigned char>(sorted[i].m_nPrefix >> (56 - 8 * t.depth))
                               : static_cast<unsigned char>(key(sorted[i].m_nKey)[t.depth]);
        };
        // The slot of the child whose edge begins with b.
        const auto addChild = [&](unsigned char b, Child child) {
            m_edgeBytes.push_back(b);
            m_children.push_back(child);
            if (t.node == 0)
                m_rootChild[b] = child;
        };
        while (lo < t.hi) {
            const unsigned char b = byteAt(lo);
            if (lo + 1 == t.hi || byteAt(lo + 1) != b) {
                // A lone key is a leaf, its edge the rest of the key: no
                // search, and no byte of it read past the chunk.
                if (t.depth < 3)
                    markStart(sorted[lo]);
                addChild(b, ~static_cast<Child>(sorted[lo].m_nKey));
                ++lo;
                continue;
            }
            // Spans, and bytes past the first eight, are read from the keys.
            PrefetchKey(all, keys, sorted.data(), sorted.size(), lo, 8);
            std::uint32_t inside = lo, step = 1;
            while (step < t.hi - inside && byteAt(inside + step) == b) {
                inside += step;
                step *= 2;
            }
            std::uint32_t hi = std::min(inside + step, t.hi);  // byteAt(hi) != b, or the end
            while (hi - inside > 1) {
                const std::uint32_t mid = inside + (hi - inside) / 2;
                (byteAt(mid) == b ? inside : hi) = mid;
            }
            // Keys lo .. hi - 1, two or more, reach a node.
            const auto shortest = std::min(sorted[lo].m_nLength, sorted[hi - 1].m_nLength);
            std::uint32_t depth = t.depth + 1;
            if (depth < 8) {
                const std::uint64_t differ = sorted[lo].m_nPrefix ^ sorted[hi - 1].m_nPrefix;
                const auto agree = static_cast<std::uint32_t>(differ == 0 ? 8 : std::countl_zero(differ) / 8);
                depth = std::max(depth, std::min(agree, shortest));
            }
            if (depth >= 8) {
                const std::string_view first = key(sorted[lo].m_nKey), last = key(sorted[hi - 1].m_nKey);
                while (depth < shortest && first[depth] == last[depth]) ++depth;
            }
            if (t.depth < 3 && depth >= 3)
                markStart(sorted[lo]);
            const auto child = static_cast<Child>(m_nodes.size());
            Node node;
            node.labelLength = depth - t.depth - 1;
            m_nodes.push_back(node);
            inner.push_back({static_cast<std::uint32_t>(child), sorted[lo].m_nKey, t.depth + 1});
            __builtin_prefetch(&keys[sorted[lo].m_nKey]);
            if (inner.size() == kInnerBatch)
                placeInner();
            tasks.push_back({static_cast<std::uint32_t>(child), lo, hi, depth});
            addChild(b, child);
            lo = hi;
        }
        m_nodes[t.node].childCount = static_cast<std::uint32_t>(m_children.size()) - m_nodes[t.node].firstChild;
        // The first child is done next, so that the keys go in sorted order
        // and each prefetch lands before its key is read.
        std::reverse(tasks.begin() + static_cast<std::ptrdiff_t>(pushed), tasks.end());
    }
    placeInner();
}

namespace {

// Whether n bytes agree; labels are mostly a few bytes, shorter than a call.
bool SameBytes(const unsigned char* a, const char* b, std::size_t n)
{
    if (n > 16)
        return std::memcmp(a, b, n) == 0;
    for (std::size_t k = 0; k < n; ++k) {
        if (a[k] != static_cast<unsigned char>(b[k]))
            return false;
    }
    return true;
}

}  // namespace

CKeyIndex::Child CKeyIndex::ChildOf(const Node& node, unsigned char b) const
{
    const auto* begin = m_edgeBytes.data() + node.firstChild;
    const auto* end = begin + node.childCount;
    const auto* it = std::lower_bound(begin, end, b);
    if (it == end || *it != b)
        return 0;
    return m_children[static_cast<std::size_t>(it - m_edgeBytes.data())];
}

void CKeyIndex::Matches(const unsigned char* p, std::int64_t n, std::vector<int>& out) const
{
    const std::size_t from = out.size();
    const auto take = [&](const Node& node) {
        if (node.group >= 0) out.push_back(node.group);
    };
    take(m_nodes[0]);
    if (n > 0) {
        Child child = m_rootChild[p[0]];
        std::int64_t i = 1;
        // Keys end only at nodes and leaves: a label that does not fit, or
        // differs, ends the walk.
        while (child > 0) {
            const Node& node = m_nodes[static_cast<std::size_t>(child)];
            if (node.labelLength > n - i || !SameBytes(p + i, m_pBytes->data() + node.labelStart, node.labelLength))
                break;
            i += node.labelLength;
            take(node);
            if (i >= n) break;
            child = ChildOf(node, p[i++]);
        }
        // A leaf: the rest of its key from the byte after its edge's first.
        if (child < 0) {
            const int group = ~child;
            const CKeySpan key = m_pKeys[group];
            const std::int64_t rest = static_cast<std::int64_t>(key.length) - i;
            if (rest <= n - i && SameBytes(p + i, m_pBytes->data() + key.offset + i, static_cast<std::size_t>(rest)))
                out.push_back(group);
        }
    }
    // Shorter keys were found first; the pass wants the groups in order.
    if (out.size() - from > 1) std::sort(out.begin() + static_cast<std::ptrdiff_t>(from), out.end());
}
