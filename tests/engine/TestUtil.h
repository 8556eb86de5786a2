// Helpers shared by the engine tests.
#pragma once

#include "ByteString.h"
#include "Encoding.h"
#include "ProseGenerator.h"
#include "RuleSet.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// Bytes from hexadecimal pairs separated by spaces: "82 DC 81 42".
CByteString Hex(std::string_view pairs);

// The CP932 bytes of a UTF-8 text; throws when the text cannot be converted.
inline CByteString Sjis(std::string_view utf8) { return prose::ToCp932(utf8); }

// The bytes converted between encodings; throws with the converter's message
// when they cannot be.
std::string Convert(std::string_view bytes, CEncoding from, CEncoding to);

// One rule as a test writes it, and a set of exactly such rules (no built-in ones).
struct Rule {
    int mode;
    CByteString key;
    CByteString text;
};
CRuleSet MakeRules(const std::vector<Rule>& rules);

// What a conversion error says, in a fixed short form for tables:
// "invalid line 2 byte 4", "incomplete line 1 byte 3", "U+2460 line 2",
// "no converter", "UTF-32".
std::string Facts(const CConvertError& error);

// A fresh directory under the system's temporary directory, removed with all
// it holds when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& Path() const { return m_path; }
    // Writes the bytes to a file of that name in the directory; returns its path.
    std::string Write(const std::string& name, const CByteString& bytes) const;

private:
    std::filesystem::path m_path;
};
