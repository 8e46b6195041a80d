#pragma once

// Files that appear whole or not at all.

#include <functional>
#include <string>
#include <vector>

// Puts the bytes at the path: they go to a hidden temporary file beside it,
// written with checked system calls and flushed to the disk, which is then
// renamed over the path. On any failure the temporary file is removed, the
// path keeps what it held, and a CliError names the path (never the
// temporary file) and the system's reason. An existing file's permission
// bits are kept, and one the user may not write is not replaced. Temporary
// files that killed runs left in the folder are removed first. The temporary file is known to cleanstop while it exists.
// `check`, when given, sees the flushed temporary file before the rename;
// what it throws fails the write like any other failure.
void writeWholeFile(const std::string &path, const std::vector<unsigned char> &bytes,
                    const std::function<void(const std::string &writtenFile)> &check = nullptr);
