#include "input_guard.h"

#include <sys/stat.h>

#include <optional>

#include "cli_error.h"

namespace {

using FileId = std::pair<unsigned long long, unsigned long long>;

std::optional<FileId> fileId(const std::string &path)
{
    struct stat s;
    if (stat(path.c_str(), &s) != 0)
        return std::nullopt;
    return FileId{static_cast<unsigned long long>(s.st_dev), static_cast<unsigned long long>(s.st_ino)};
}

}  // namespace

InputGuard::InputGuard(const FramePattern &input, const FrameList &frames)
{
    auto note = [this](const std::string &path) {
        if (auto id = fileId(path))
            inputs_.insert(*id);
    };
    if (!input.isSequence()) {
        note(input.text());
        return;
    }
    // The frames that exist, not every frame asked for: a list may name
    // billions of frames, a folder holds few.
    for (int frame : input.existingFrames())
        if (frames.contains(frame))
            note(input.name(frame));
}

void InputGuard::refuse(const std::string &output) const
{
    const std::optional<FileId> id = fileId(output);
    if (id && inputs_.count(*id))
        throw UsageError("the output " + output + " is an input of this render (the same file); choose another OUTPUT");
}
