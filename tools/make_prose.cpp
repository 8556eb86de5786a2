// Writes Japanese prose in CP932 to standard output: the benchmarks' input,
// for looking at or for feeding to jestcat.
//   make_prose [BYTES [SEED]]   at least BYTES bytes (default 1048576), ending
//                               with a whole sentence; seed 1 by default
#include "ProseGenerator.h"

#include <cstdio>
#include <cstdlib>
#include <exception>

int main(int argc, char** argv)
{
    try {
        const std::size_t bytes = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1048576;
        const auto seed = static_cast<std::uint32_t>(argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 1);
        const std::string text = prose::Generate(bytes, seed);
        return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() ? 0 : 1;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_prose: %s\n", e.what());
        return 1;
    }
}
