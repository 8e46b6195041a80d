#include "temporary_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <random>
#include <regex>
#include <set>

namespace fs = std::filesystem;

namespace temporaries {

namespace {

constexpr std::size_t kNameMax = 255;
constexpr std::size_t kBootDigits = 16;

// This kernel's boot ID, as 16 hex digits; "" where the system does not say.
const std::string &bootId()
{
    static const std::string id = [] {
        std::ifstream in("/proc/sys/kernel/random/boot_id");
        std::string text, digits;
        std::getline(in, text);
        for (char c : text)
            if (std::isxdigit(static_cast<unsigned char>(c)))
                digits += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return digits.size() >= kBootDigits ? digits.substr(0, kBootDigits) : std::string();
    }();
    return id;
}

std::string randomDigits()
{
    static std::mutex mutex;
    static std::mt19937 rng = [] {
        std::random_device device;
        std::seed_seq seed{device(), device(), static_cast<unsigned>(getpid()),
                           static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count())};
        return std::mt19937(seed);
    }();
    std::lock_guard<std::mutex> lock(mutex);
    char text[9];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(rng()));
    return text;
}

enum class Lock { Free, Held, Unsupported };

// Tries a lock on the whole file through `fd`'s own open file description;
// it is released with that description, or with the process.
Lock tryLock(int fd, short type)
{
    struct flock f = {};
    f.l_type = type;
    f.l_whence = SEEK_SET;
    if (fcntl(fd, F_OFD_SETLK, &f) == 0)
        return Lock::Free;
    return errno == EAGAIN || errno == EACCES ? Lock::Held : Lock::Unsupported;
}

bool sameFile(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Opens a temporary file found in a folder, never following a link, never
// waiting on a FIFO.
int openFound(const fs::path &path, struct stat &s)
{
    const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    if (fstat(fd, &s) != 0 || !S_ISREG(s.st_mode)) {
        close(fd);
        return -1;
    }
    return fd;
}

// Unlinks `path` if it still names the file open as `fd`, whose lock the
// caller holds: a writer that created a file under the same name since
// holds another file.
void removeIfSame(int fd, const fs::path &path)
{
    struct stat opened, named;
    if (fstat(fd, &opened) == 0 && lstat(path.c_str(), &named) == 0 && sameFile(opened, named))
        unlink(path.c_str());
}

}  // namespace

std::string freshName(const std::string &outputName)
{
    const std::string boot = bootId().empty() ? std::string(kBootDigits, '0') : bootId();
    const std::string head = ".zelvo-k" + boot + "-" + std::to_string(getpid()) + "-" + randomDigits() + ".";
    return head + outputName.substr(0, kNameMax - std::min(kNameMax, head.size()));
}

std::optional<Recognised> recognise(const std::string &name)
{
    static const std::regex present("^\\.zelvo-k([0-9a-f]{16})-[0-9]{1,10}-[0-9a-f]{8}\\.(.+)$");
    static const std::regex earlier("^\\.zelvo-[0-9]{1,9}-[0-9]{1,4}\\.(.+)$");
    static const std::regex earliest("^\\.(.+)\\.zelvo-[0-9]{1,9}(-[0-9]{1,4})?$");
    std::smatch m;
    if (std::regex_match(name, m, present))
        return Recognised{m[1].str(), m[2].str()};
    if (std::regex_match(name, m, earlier) || std::regex_match(name, m, earliest))
        return Recognised{"", m[1].str()};
    return std::nullopt;
}

bool holdWriterLock(int fd, const std::string &path)
{
    if (tryLock(fd, F_WRLCK) == Lock::Held)
        return false;  // a sweep holds it now, and removes it
    struct stat opened, named;
    return fstat(fd, &opened) == 0 && lstat(path.c_str(), &named) == 0 && sameFile(opened, named);
}

void sweepDead(const std::string &folderName)
{
    static std::mutex mutex;
    static std::set<std::string> swept;
    const fs::path folder = folderName.empty() ? fs::path(".") : fs::path(folderName);
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (bootId().empty() || !swept.insert(folder.string()).second)
            return;
    }
    std::error_code ec;
    for (const auto &entry : fs::directory_iterator(folder, ec)) {
        const std::optional<Recognised> found = recognise(entry.path().filename().string());
        if (!found || found->boot != bootId())
            continue;
        struct stat s;
        const int fd = openFound(entry.path(), s);
        if (fd < 0)
            continue;
        if (s.st_uid == geteuid() && tryLock(fd, F_RDLCK) == Lock::Free)
            removeIfSame(fd, entry.path());
        close(fd);
    }
}

std::vector<Leftover> leftovers(const std::string &folderName, std::optional<std::chrono::seconds> removeOlderThan,
                                const std::function<bool(const std::string &output)> &belongs)
{
    const fs::path folder = folderName.empty() ? fs::path(".") : fs::path(folderName);
    std::vector<Leftover> found;
    std::error_code ec;
    const auto now = std::chrono::system_clock::now();
    for (const auto &entry : fs::directory_iterator(folder, ec)) {
        const std::optional<Recognised> name = recognise(entry.path().filename().string());
        if (!name || !belongs(name->output))
            continue;
        struct stat s;
        const int fd = openFound(entry.path(), s);
        if (fd < 0)
            continue;
        Leftover l;
        l.path = entry.path().string();
        const auto written = std::chrono::system_clock::from_time_t(s.st_mtime);
        l.age = std::chrono::duration_cast<std::chrono::seconds>(std::max(now - written, now - now));
        const Lock lock = tryLock(fd, F_RDLCK);
        l.live = lock == Lock::Held;
        if (!l.live && removeOlderThan && l.age >= *removeOlderThan) {
            removeIfSame(fd, entry.path());
            l.removed = !fs::exists(fs::symlink_status(entry.path(), ec));
        }
        close(fd);
        found.push_back(l);
    }
    std::sort(found.begin(), found.end(), [](const Leftover &a, const Leftover &b) { return a.path < b.path; });
    return found;
}

}  // namespace temporaries
