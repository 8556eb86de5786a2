#include "FileRead.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int ReadToEnd(int fd, CByteString& out, std::size_t limit)
{
    std::size_t got = 0;
    char buffer[65536];
    for (;;) {
        std::size_t want = sizeof buffer;
        if (limit != std::numeric_limits<std::size_t>::max() && limit + 1 - got < want) want = limit + 1 - got;
        const ssize_t n = ::read(fd, buffer, want);
        if (n > 0) {
            out.append(buffer, static_cast<std::size_t>(n));
            got += static_cast<std::size_t>(n);
            if (limit != std::numeric_limits<std::size_t>::max() && got > limit) return EFBIG;
        } else if (n == 0) {
            return 0;
        } else if (errno != EINTR) {
            return errno;
        }
    }
}

int ReadWholeFile(const CByteString& name, CByteString& contents, bool regularOnly, std::size_t limit)
{
    if (name.empty()) return ENOENT;
    if (name.find('\0') != CByteString::npos) return EINVAL;
    const int flags = O_RDONLY | O_CLOEXEC | (regularOnly ? O_NONBLOCK : 0);
    const int fd = ::open(name.c_str(), flags);
    if (fd < 0) return errno;
    CByteString data;
    int error = 0;
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        error = errno;
    } else if (regularOnly && !S_ISREG(st.st_mode)) {
        error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    } else {
        if (S_ISREG(st.st_mode) && st.st_size > 0)
            data.reserve(std::min(static_cast<std::size_t>(st.st_size), limit) + 1);
        error = ReadToEnd(fd, data, limit);
    }
    ::close(fd);
    if (error == 0 || error == EFBIG) contents.swap(data);
    return error;
}

int WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}
