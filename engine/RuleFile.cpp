// The rule-file loader: one rule per line, "letter, skipped byte, key, space,
// text", Shift-JIS bytes as they stand.
#include "RuleSet.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool IsLeadByte(unsigned char b)
{
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// First occurrence of the single-byte character c at or after from, stepping
// over double-byte characters so that their second byte is never taken for c.
std::size_t FindSjisChar(const CByteString& s, std::size_t from, char c)
{
    std::size_t i = from;
    while (i < s.size()) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (IsLeadByte(b)) {
            i += 2;
        } else if (s[i] == c) {
            return i;
        } else {
            ++i;
        }
    }
    return CByteString::npos;
}

// Reads the whole file; false when it cannot be opened or read, or is not a
// regular file (a directory, for instance).
bool ReadWholeFile(const CByteString& name, CByteString& contents)
{
    if (name.empty() || name.find('\0') != CByteString::npos) return false;
    // Non-blocking, so that naming a FIFO cannot hang the open; only regular
    // files are read.
    const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    CByteString data;
    if (ok) {
        char buffer[65536];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0) {
                data.append(buffer, static_cast<std::size_t>(n));
            } else if (n == 0) {
                break;
            } else if (errno != EINTR) {
                ok = false;
                break;
            }
        }
    }
    ::close(fd);
    if (ok) contents.swap(data);
    return ok;
}

}  // namespace

bool CRuleSet::LoadRuleFile(const CByteString& name)
{
    CByteString contents;
    if (!ReadWholeFile(name, contents)) return false;
    return LoadRuleBytes(contents, name);
}

bool CRuleSet::LoadRuleBytes(const CByteString& contents, const CByteString& name)
{
    // The contents end at the first NUL.
    const CByteString text = contents.substr(0, contents.find('\0'));

    // Parse into a fresh set; the rules in use are replaced only when every
    // line was accepted, so a bad line loses nothing.
    CRuleSet fresh;
    fresh.RemoveAllGroups();
    int lineNumber = 1;
    std::size_t start = 0;
    for (;;) {
        const std::size_t lf = FindSjisChar(text, start, '\n');
        if (lf == CByteString::npos) break;  // an unterminated last line is ignored
        std::size_t end = lf;
        // A CR LF line break goes whole; with a bare LF the line keeps every byte.
        if (end > start && text[end - 1] == '\r') --end;
        if (!fresh.ParseRuleLine(text.substr(start, end - start))) {
            ReportLineError(lineNumber);
            return false;
        }
        start = lf + 1;
        ++lineNumber;
    }
    m_arrGroups.swap(fresh.m_arrGroups);
    SetFileName(name);
    return true;
}

bool CRuleSet::ParseRuleLine(const CByteString& line)
{
    if (line.empty()) return true;
    int mode = 0;
    switch (line[0]) {
    case 'r': mode = kModeReplace; break;
    case 'b': mode = kModeInsertBefore; break;
    case 'a': mode = kModeInsertAfter; break;
    case 'd': mode = kModeDelete; break;
    case 'c': return true;
    default: return false;
    }
    if (line.size() <= 2) {
        AddRule(mode, CByteString(), CByteString());
        return true;
    }
    const std::size_t space = FindSjisChar(line, 2, ' ');
    if (space == CByteString::npos) {
        AddRule(mode, CByteString(), line.substr(2));
    } else {
        AddRule(mode, line.substr(2, space - 2), line.substr(space + 1));
    }
    return true;
}

void CRuleSet::ReportLineError(int lineNumber) const
{
    if (!m_pSink) return;
    char message[128];
    std::snprintf(message, sizeof message, "第%d行で読み込みエラーが起きました。", lineNumber);
    m_pSink->ShowMessage(message);
}
