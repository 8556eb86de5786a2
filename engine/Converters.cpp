#include "Converters.h"

#include <memory>
#include <string>
#include <vector>

namespace {

struct CCachedConverter {
    std::string to, from;
    iconv_t cd;
    CCachedConverter(const char* t, const char* f) : to(t), from(f), cd(iconv_open(t, f)) {}
    ~CCachedConverter()
    {
        if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    }
    CCachedConverter(const CCachedConverter&) = delete;
    CCachedConverter& operator=(const CCachedConverter&) = delete;
};

}  // namespace

iconv_t CachedConverter(const char* to, const char* from)
{
    // A handful of pairs: a list is quicker than a map.
    thread_local std::vector<std::unique_ptr<CCachedConverter>> cache;
    for (const auto& c : cache) {
        if (c->to == to && c->from == from) {
            if (c->cd != reinterpret_cast<iconv_t>(-1)) iconv(c->cd, nullptr, nullptr, nullptr, nullptr);
            return c->cd;
        }
    }
    cache.push_back(std::make_unique<CCachedConverter>(to, from));
    return cache.back()->cd;
}
