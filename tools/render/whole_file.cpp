#include "whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>

#include "clean_stop.h"
#include "cli_error.h"

namespace fs = std::filesystem;

namespace {

[[noreturn]] void fail(const std::string &path, int error)
{
    throw CliError("cannot write " + path + ": " + std::strerror(error));
}

// Removes the temporary file unless it was renamed into place.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::string &path) : path_(path) { cleanstop::setTemporaryFile(path_); }
    ~TemporaryFile()
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

void writeAll(int fd, const unsigned char *data, std::size_t size, const std::string &path)
{
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(path, errno);
        }
        if (n == 0)
            fail(path, ENOSPC);
        data += n;
        size -= static_cast<std::size_t>(n);
    }
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

fs::path entryOf(const std::string &path)
{
    const fs::path p = fs::absolute(path);
    std::error_code ec;
    const fs::path dir = fs::weakly_canonical(p.parent_path(), ec);
    return (ec ? p.parent_path() : dir) / p.filename();
}

}  // namespace

void writeWholeFile(const std::string &path, const std::vector<unsigned char> &bytes,
                    const std::function<void(const std::string &writtenFile)> &check)
{
    const fs::path target(path);
    struct stat existing;
    const bool exists = stat(path.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode))
        fail(path, EISDIR);
    const fs::path dir = target.parent_path();
    const std::string base = "." + target.filename().string() + ".zelvo-" + std::to_string(getpid());

    std::unique_ptr<TemporaryFile> temp;
    for (int attempt = 0;; ++attempt) {
        const fs::path name = dir / (base + (attempt ? "-" + std::to_string(attempt) : std::string()));
        temp.reset();  // its destructor would clear the new file's registration
        temp = std::make_unique<TemporaryFile>(name.string());
        const int fd = open(temp->path().c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            temp->setFd(fd);
            break;
        }
        const int error = errno;
        temp->placed();  // not ours: never remove it
        if (error != EEXIST || attempt == 100)
            fail(path, error);
    }
    if (exists && fchmod(temp->fd(), existing.st_mode & 07777) != 0)
        fail(path, errno);
    writeAll(temp->fd(), bytes.data(), bytes.size(), path);
    if (fsync(temp->fd()) != 0)
        fail(path, errno);
    if (close(temp->release()) != 0)
        fail(path, errno);
    if (check)
        check(temp->path());
    if (rename(temp->path().c_str(), path.c_str()) != 0)
        fail(path, errno);
    temp->placed();
    syncDirectory(dir);
}

std::string entryPath(const std::string &path)
{
    try {
        return entryOf(path).string();
    } catch (const fs::filesystem_error &) {
        return path;
    }
}
