// POSIX backend of the file handles.
#include "Platform/File.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plat {

FileHandle stdHandle(StdStream s) {
    switch (s) {
        case StdStream::In: return STDIN_FILENO;
        case StdStream::Out: return STDOUT_FILENO;
        case StdStream::Err: return STDERR_FILENO;
    }
    return kInvalidFile;
}

FileHandle openFileRead(const std::string& name, bool updatable, uint32_t* error) {
    int fd = updatable ? ::open(name.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)
                       : ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (error) *error = uint32_t(errno);
        return kInvalidFile;
    }
    struct stat st{};
    if (fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(fd);
        if (error) *error = EISDIR;
        return kInvalidFile;
    }
#ifdef POSIX_FADV_SEQUENTIAL
    posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
#endif
    return fd;
}

FileHandle openFileWrite(const std::string& name, bool append, uint32_t* error) {
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (append ? 0 : O_TRUNC);
    int fd = ::open(name.c_str(), flags, 0644);
    if (fd < 0) {
        if (error) *error = uint32_t(errno);
        return kInvalidFile;
    }
    return fd;
}

int64_t readFile(FileHandle h, void* buf, uint64_t count, uint32_t* error) {
    uint64_t done = 0;
    auto* p = static_cast<unsigned char*>(buf);
    while (done < count) {
        ssize_t n = ::read(int(h), p + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (error) *error = uint32_t(errno);
            return -1;
        }
        if (n == 0) break;
        done += uint64_t(n);
    }
    return int64_t(done);
}

int64_t writeFile(FileHandle h, const void* buf, uint64_t count, uint32_t* error) {
    uint64_t done = 0;
    auto* p = static_cast<const unsigned char*>(buf);
    while (done < count) {
        ssize_t n = ::write(int(h), p + done, count - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (error) *error = uint32_t(errno);
            return -1;
        }
        if (n == 0) break;
        done += uint64_t(n);
    }
    return int64_t(done);
}

int64_t seekFile(FileHandle h, int64_t offset, int origin, uint32_t* error) {
    int whence = origin == 0 ? SEEK_SET : origin == 1 ? SEEK_CUR : SEEK_END;
    off_t r = ::lseek(int(h), off_t(offset), whence);
    if (r < 0 && error) *error = uint32_t(errno);
    return int64_t(r);
}

int64_t fileSize(FileHandle h, uint32_t* error) {
    struct stat st{};
    if (fstat(int(h), &st) != 0) {
        if (error) *error = uint32_t(errno);
        return -1;
    }
    return int64_t(st.st_size);
}

bool closeFile(FileHandle h, uint32_t* error) {
    if (h <= STDERR_FILENO) return true;  // the standard streams stay open
    if (::close(int(h)) != 0) {
        if (error) *error = uint32_t(errno);
        return false;
    }
    return true;
}

bool fileExists(const std::string& name) {
    struct stat st{};
    return stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool deleteFile(const std::string& name) { return ::unlink(name.c_str()) == 0; }

}  // namespace plat
