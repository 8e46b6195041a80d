#include "whole_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <regex>
#include <set>

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

// ".zelvo-PID-N.NAME", the name cut so that the whole stays a legal name:
// any output name that fits has a temporary name that fits.
constexpr const char *kTemporaryPrefix = ".zelvo-";
constexpr std::size_t kNameMax = 255;

std::string temporaryName(const std::string &name, int attempt)
{
    const std::string head = kTemporaryPrefix + std::to_string(getpid()) + "-" + std::to_string(attempt) + ".";
    return head + name.substr(0, kNameMax - std::min(kNameMax, head.size()));
}

// The process that wrote a temporary file of ours, by its name: the present
// ".zelvo-PID-N.NAME" or the earlier ".NAME.zelvo-PID[-N]"; 0 for any other.
long long writerOf(const std::string &name)
{
    static const std::regex present("^\\.zelvo-([0-9]{1,9})-[0-9]{1,4}\\..*$");
    static const std::regex earlier("^\\..+\\.zelvo-([0-9]{1,9})(-[0-9]{1,4})?$");
    std::smatch m;
    if (std::regex_match(name, m, present) || std::regex_match(name, m, earlier))
        return std::stoll(m[1].str());
    return 0;
}

// A run killed outright (SIGKILL, a power cut) leaves its temporary file.
// The next run that writes into the folder removes those of processes that
// no longer exist, only regular files of this user, each folder once.
void removeStaleTemporaries(const fs::path &dir)
{
    static std::set<std::string> cleaned;
    const fs::path folder = dir.empty() ? fs::path(".") : dir;
    if (!cleaned.insert(folder.string()).second)
        return;
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        const long long pid = writerOf(name);
        if (pid <= 0 || pid == getpid() || kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH)
            continue;
        struct stat s;
        if (lstat(entry.path().c_str(), &s) == 0 && S_ISREG(s.st_mode) && s.st_uid == geteuid())
            unlink(entry.path().c_str());
    }
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
    // A file the user may not write is not replaced, as cp would not.
    if (exists && access(path.c_str(), W_OK) != 0)
        fail(path, errno);
    const fs::path dir = target.parent_path();
    removeStaleTemporaries(dir);

    std::unique_ptr<TemporaryFile> temp;
    for (int attempt = 0;; ++attempt) {
        const fs::path name = dir / temporaryName(target.filename().string(), attempt);
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
