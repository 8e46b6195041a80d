#include "whole_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <algorithm>

#include "clean_stop.h"
#include "cli_error.h"
#include "temporary_files.h"

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const std::string &path, int error)
{
    throw CliError("cannot write " + path + ": " + std::strerror(error));
}


// The rename itself reaches the disk only with its directory.
void syncDirectory(const fs::path &dir)
{
    const int fd = open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

}  // namespace

// Removes the temporary file unless it was renamed into place.
class WholeFile::Temporary {
public:
    explicit Temporary(const std::string &path) : path_(path) { cleanstop::setTemporaryFile(path_); }
    ~Temporary()
    {
        if (fd_ >= 0)
            close(fd_);
        if (!placed_)
            unlink(path_.c_str());
        cleanstop::setTemporaryFile("");
    }
    const std::string &path() const { return path_; }
    int fd() const { return fd_; }
    void setFd(int fd) { fd_ = fd; }
    int release()
    {
        const int fd = fd_;
        fd_ = -1;
        return fd;
    }
    void placed() { placed_ = true; }

private:
    std::string path_;
    int fd_ = -1;
    bool placed_ = false;
};

WholeFile::WholeFile(const std::string &path) : path_(path)
{
    const fs::path target(path);
    struct stat existing;
    const bool exists = stat(path.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode))
        fail(path, EISDIR);
    // A file the user may not write is not replaced, as cp would not.
    if (exists && access(path.c_str(), W_OK) != 0)
        fail(path, errno);
    dir_ = target.parent_path().string();
    temporaries::sweepDead(dir_);

    for (int attempt = 0;; ++attempt) {
        const fs::path name = fs::path(dir_) / temporaries::freshName(target.filename().string());
        temp_.reset();  // its destructor would clear the new file's registration
        temp_ = std::make_unique<Temporary>(name.string());
        const int fd = open(temp_->path().c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            temp_->setFd(fd);
            // Locked from here to the rename: the proof for other runs'
            // sweeps that this file's writer lives.
            if (temporaries::holdWriterLock(fd, temp_->path()))
                break;
            close(temp_->release());
        }
        const int error = fd >= 0 ? EEXIST : errno;
        temp_->placed();  // not ours (or a sweep's now): never remove it
        if (error != EEXIST || attempt == 100)
            fail(path, error);
    }
    if (exists && fchmod(temp_->fd(), existing.st_mode & 07777) != 0)
        fail(path, errno);
}

WholeFile::~WholeFile() = default;

void WholeFile::write(const void *data, std::size_t size, long long offset)
{
    const unsigned char *at = static_cast<const unsigned char *>(data);
    while (size > 0) {
        const ssize_t n = offset < 0 ? ::write(temp_->fd(), at, size)
                                     : ::pwrite(temp_->fd(), at, size, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(path_, errno);
        }
        if (n == 0)
            fail(path_, ENOSPC);
        at += n;
        size -= static_cast<std::size_t>(n);
        if (offset >= 0)
            offset += n;
    }
}

const std::string &WholeFile::temporaryPath() const
{
    return temp_->path();
}

int WholeFile::fd() const
{
    return temp_->fd();
}

void WholeFile::commit(const std::function<void(const std::string &writtenFile)> &check)
{
    if (fsync(temp_->fd()) != 0)
        fail(path_, errno);
    // The descriptor, and with it the writer's lock, stays open until the
    // file is in place: a sweep must never find it unlocked before.
    if (check)
        check(temp_->path());
    if (rename(temp_->path().c_str(), path_.c_str()) != 0)
        fail(path_, errno);
    temp_->placed();
    close(temp_->release());  // its data reached the disk with the fsync
    syncDirectory(dir_);
}

void writeWholeFile(const std::string &path, const std::vector<unsigned char> &bytes,
                    const std::function<void(const std::string &writtenFile)> &check)
{
    WholeFile file(path);
    file.write(bytes.data(), bytes.size());
    file.commit(check);
}

FileProxy::FileProxy(WholeFile &file) : OIIO::Filesystem::IOProxy(file.temporaryPath(), Write), file_(file) {}

std::size_t FileProxy::write(const void *buf, std::size_t size)
{
    const std::size_t n = pwrite(buf, size, m_pos);
    m_pos += static_cast<int64_t>(n);
    return n;
}

std::size_t FileProxy::pwrite(const void *buf, std::size_t size, int64_t offset)
{
    if (!failure_.empty())
        return 0;
    try {
        file_.write(buf, size, offset);
    } catch (const CliError &e) {
        failure_ = e.what();  // the image library gets a short write, and we the reason
        return 0;
    }
    end_ = std::max(end_, offset + static_cast<int64_t>(size));
    return size;
}

std::size_t FileProxy::pread(void *buf, std::size_t size, int64_t offset)
{
    const ssize_t n = ::pread(file_.fd(), buf, size, static_cast<off_t>(offset));
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

std::size_t FileProxy::read(void *buf, std::size_t size)
{
    const std::size_t n = pread(buf, size, m_pos);
    m_pos += static_cast<int64_t>(n);
    return n;
}
