#pragma once

// Files that appear whole or not at all.

#include <OpenImageIO/filesystem.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

// A file being written: its bytes go to a hidden temporary file beside the
// path, with checked system calls, and only commit() flushes it to the disk
// and renames it over the path. On any failure, and when the object goes
// without a commit, the temporary file is removed and the path keeps what it
// held; failures are CliErrors naming the path (never the temporary file)
// and the system's reason. An existing file's permission bits are kept, and
// one the user may not write is not replaced. Temporary files that killed
// runs left in the folder are removed first, when provably dead
// (temporary_files.h). The temporary file is known to
// cleanstop while it exists.
class WholeFile {
public:
    explicit WholeFile(const std::string &path);
    ~WholeFile();
    WholeFile(const WholeFile &) = delete;
    WholeFile &operator=(const WholeFile &) = delete;

    // At the end of what was written, or at the offset.
    void write(const void *data, std::size_t size, long long offset = -1);
    // `check`, when given, sees the flushed temporary file before the
    // rename; what it throws fails the write like any other failure.
    void commit(const std::function<void(const std::string &writtenFile)> &check = nullptr);

    const std::string &path() const { return path_; }
    const std::string &temporaryPath() const;
    int fd() const;

private:
    class Temporary;
    std::string path_, dir_;
    std::unique_ptr<Temporary> temp_;
};

// The bytes at the path, whole or not at all.
void writeWholeFile(const std::string &path, const std::vector<unsigned char> &bytes,
                    const std::function<void(const std::string &writtenFile)> &check = nullptr);

// The image library's writers write through this into a WholeFile: a write
// that fails (a full disk, a size limit) is a short write for the library,
// and its reason is kept for the one line the user reads.
class FileProxy : public OIIO::Filesystem::IOProxy {
public:
    explicit FileProxy(WholeFile &file);
    const char *proxytype() const override { return "zelvo-whole-file"; }
    std::size_t write(const void *buf, std::size_t size) override;
    std::size_t pwrite(const void *buf, std::size_t size, int64_t offset) override;
    std::size_t read(void *buf, std::size_t size) override;
    std::size_t pread(void *buf, std::size_t size, int64_t offset) override;
    std::size_t size() const override { return static_cast<std::size_t>(end_); }

    // The first write's failure, as "cannot write PATH: REASON"; "" if none.
    const std::string &failure() const { return failure_; }

private:
    WholeFile &file_;
    int64_t end_ = 0;
    std::string failure_;
};
