#include "TestUtil.h"

#include "EditReport.h"

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
    if (!ConvertText(bytes, from, to, out, &error)) throw std::runtime_error(DescribeConvertError(error, bytes));
    return out;
}

std::string WalkEdits(std::string_view input, std::string_view output, const std::vector<CEdit>& edits)
{
    std::int64_t in = 0;
    std::int64_t out = 0;
    for (std::size_t k = 0; k < edits.size(); ++k) {
        const CEdit& e = edits[k];
        const std::string at = "edit " + std::to_string(k) + " at " + std::to_string(e.m_nPos) + ": ";
        if (e.m_nPos < out || (k > 0 && e.m_nPos == out)) return at + "touches or overlaps the one before";
        const std::int64_t clean = e.m_nPos - out;
        if (in + clean > static_cast<std::int64_t>(input.size()) ||
            e.m_nPos + e.m_nLength > static_cast<std::int64_t>(output.size()))
            return at + "runs past the end";
        if (output.substr(static_cast<std::size_t>(out), static_cast<std::size_t>(clean)) !=
            input.substr(static_cast<std::size_t>(in), static_cast<std::size_t>(clean)))
            return at + "the bytes before it differ from the input";
        const bool empty = e.m_nLength == 0;
        const bool fits = e.m_eKind == CEdit::Kind::Inserted ? !empty && e.m_nSourceLength == 0
                          : e.m_eKind == CEdit::Kind::Replaced ? !empty && e.m_nSourceLength > 0
                                                               : empty && e.m_nSourceLength > 0;
        if (!fits) return at + "its kind does not fit its lengths";
        in += clean + e.m_nSourceLength;
        out = e.m_nPos + e.m_nLength;
    }
    if (in > static_cast<std::int64_t>(input.size())) return "the edits consume more than the input";
    if (output.substr(static_cast<std::size_t>(out)) != input.substr(static_cast<std::size_t>(in)))
        return "the bytes after the last edit differ from the input";
    return {};
}

std::string CheckReport(std::string_view input, std::string_view output, const CRewriteReport& report)
{
    std::int64_t sum = 0;
    for (std::int64_t n : report.m_arrGroupFirings) sum += n;
    if (sum != report.m_nFirings)
        return "firings " + std::to_string(report.m_nFirings) + ", by group " + std::to_string(sum);
    return WalkEdits(input, output, report.m_arrEdits);
}
