// Japanese prose for the benchmarks: sentences put together from fragments by
// a seeded generator, in CP932, with many "。" and "、" and now and then the
// phrases that the built-in rules look for.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace prose {

// At least `bytes` bytes of prose (cut at the end of a sentence just past
// that length), the same bytes for the same seed on every machine.
std::string Generate(std::size_t bytes, std::uint32_t seed = 1);

// Prose of about `bytes` bytes holding `tags` HTML tags and `comments` C/C++
// comments (half block comments, half line comments ending in CR LF).
std::string GenerateMarkup(std::size_t bytes, int tags, int comments, std::uint32_t seed = 1);

// UTF-8 to CP932 through the engine's converter; throws std::runtime_error
// when a character has no CP932 form.
std::string ToCp932(std::string_view utf8);

}  // namespace prose
