#include "midi/ByteBuffer.h"

#include "base/ErrorCodes.h"
#include "base/ErrorReport.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace harmolin {

bool ByteBuffer::assign(const std::uint8_t* data, int length) {
    position_ = 0;
    if (length < 0 || length > capacity_) {
        bytes_.clear();
        return false;
    }
    bytes_.assign(data, data + length);
    return true;
}

bool ByteBuffer::loadFile(const std::string& path) {
    bytes_.clear();
    position_ = 0;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0) ::close(fd);
        reportNotice(path);
        reportError(ErrorClass::Gene, errc::kCannotOpenFile);
        return false;
    }
    if (static_cast<std::uint64_t>(st.st_size) >= 0x100000000ULL) {
        ::close(fd);
        reportError(ErrorClass::Gene, errc::kBadFileSize);
        return false;
    }
    if (st.st_size > capacity_) {
        ::close(fd);
        reportError(ErrorClass::Gene, errc::kDataTooLarge);
        return false;
    }
    bytes_.resize(static_cast<std::size_t>(st.st_size));
    std::size_t done = 0;
    while (done < bytes_.size()) {
        const ssize_t n = ::read(fd, bytes_.data() + done, bytes_.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    ::close(fd);
    if (done != bytes_.size()) { // the file shrank or failed while being read
        bytes_.clear();
        reportError(ErrorClass::Gene, errc::kDataTooLarge);
        return false;
    }
    return true;
}

bool ByteBuffer::saveFile(const std::string& path) const {
    if (!writeFileAtomically(path, bytes_.data(), bytes_.size())) {
        reportNotice(path);
        reportError(ErrorClass::Gene, errc::kCannotOpenFile);
        return false;
    }
    return true;
}

} // namespace harmolin
