#include "captured_stderr.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <iostream>

CapturedStderr::CapturedStderr()
{
    std::cerr.flush();
    std::fflush(stderr);
    capture_ = memfd_create("zelvo-stderr", MFD_CLOEXEC);
    saved_ = capture_ < 0 ? -1 : dup(STDERR_FILENO);
    if (saved_ < 0 || dup2(capture_, STDERR_FILENO) < 0) {
        // Without a capture the messages merely stay visible.
        if (saved_ >= 0)
            close(saved_);
        if (capture_ >= 0)
            close(capture_);
        saved_ = capture_ = -1;
    }
}

CapturedStderr::~CapturedStderr()
{
    if (saved_ < 0)
        return;
    std::fflush(stderr);
    dup2(saved_, STDERR_FILENO);
    close(saved_);
    close(capture_);
}

std::string CapturedStderr::text() const
{
    std::string out;
    if (capture_ < 0)
        return out;
    std::fflush(stderr);
    char buffer[4096];
    off_t at = 0;
    for (;;) {
        const ssize_t n = pread(capture_, buffer, sizeof buffer, at);
        if (n <= 0)
            break;
        out.append(buffer, static_cast<std::size_t>(n));
        at += n;
    }
    return out;
}

std::string firstLine(const std::string &text)
{
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::size_t a = start, b = end;
        while (a < b && std::isspace(static_cast<unsigned char>(text[a])))
            ++a;
        while (b > a && std::isspace(static_cast<unsigned char>(text[b - 1])))
            --b;
        if (b > a)
            return text.substr(a, b - a);
        start = end + 1;
    }
    return {};
}
