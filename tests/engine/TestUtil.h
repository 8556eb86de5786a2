// Helpers shared by the engine tests.
#pragma once

#include "ByteString.h"
#include "Encoding.h"
#include "MessageSink.h"
#include "ProseGenerator.h"

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

// Keeps every message handed to it.
class RecordingSink : public CMessageSink {
public:
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    std::vector<std::string> messages;
};
