#include "TestUtil.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

CByteString Hex(std::string_view pairs)
{
    CByteString out;
    std::size_t i = 0;
    while (i < pairs.size()) {
        if (pairs[i] == ' ') {
            ++i;
            continue;
        }
        out.push_back(static_cast<char>(std::stoi(std::string(pairs.substr(i, 2)), nullptr, 16)));
        i += 2;
    }
    return out;
}

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "jest-engine-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot create a temporary directory");
    m_path = pattern;
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(m_path, ec);
}

std::string TempDir::Write(const std::string& name, const CByteString& bytes) const
{
    std::string path = (m_path / name).string();
    std::ofstream f(path, std::ios::binary);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!f) throw std::runtime_error("cannot write " + path);
    return path;
}

std::string Convert(std::string_view bytes, CEncoding from, CEncoding to)
{
    std::string out;
    CConvertError error;
    if (!ConvertText(bytes, from, to, out, &error)) throw std::runtime_error("conversion failed at line " + std::to_string(error.m_nLine));
    return out;
}

std::string Facts(const CConvertError& error)
{
    using Kind = CConvertError::Kind;
    const std::string at = " line " + std::to_string(error.m_nLine);
    char ch[16];
    std::snprintf(ch, sizeof ch, "U+%04X", static_cast<unsigned>(error.m_cChar));
    switch (error.m_eKind) {
    case Kind::Unrepresentable: return ch + at;
    case Kind::IncompleteInput: return "incomplete" + at + " byte " + std::to_string(error.m_nOffset);
    case Kind::NoConverter: return "no converter";
    case Kind::Utf32Text: return "UTF-32";
    case Kind::InvalidInput: break;
    }
    return "invalid" + at + " byte " + std::to_string(error.m_nOffset);
}

CRuleSet MakeRules(const std::vector<Rule>& rules)
{
    CRuleSet set;
    set.RemoveAllGroups();
    for (const auto& r : rules) set.AddRule(r.mode, r.key, r.text);
    return set;
}
