#include "midi/ByteBuffer.h"

#include "base/ErrorCodes.h"
#include "midi/ErrorReport.h"

#include <atomic>
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

namespace {

// The folder holding path ("." for a bare name), to make its rename durable.
std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// A new file beside path, created with the usual permissions (the process
// umask applies, as for any file the user saves); -1 when none can be made.
int createTemporary(const std::string& path, std::string& name) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1));
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

} // namespace

bool writeFileAtomically(const std::string& path, const void* data, std::size_t length) {
    std::string tmp;
    const int fd = createTemporary(path, tmp);
    if (fd < 0) return false;
    const auto* p = static_cast<const std::uint8_t*>(data);
    std::size_t done = 0;
    bool ok = true;
    while (done < length) {
        const ssize_t n = ::write(fd, p + done, length - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    // On disk before it takes the old file's name, so a crash leaves one or
    // the other whole, never an empty file.
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::rename(tmp.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(tmp.c_str());
        return false;
    }
    // The rename itself lives in the folder.
    const int folder = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
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
