#ifndef _WIN32

#include <dlfcn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "platform.h"

namespace ofxhost::platform {

void *openLibrary(const std::string &path, std::string &error)
{
    dlerror();
    void *library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char *why = dlerror();
        error = why ? why : "unknown error";
    }
    return library;
}

void *openSystemLibrary(const char *name)
{
    return dlopen(name, RTLD_NOW | RTLD_LOCAL);
}

const char *openCLLoaderName()
{
    return "libOpenCL.so.1";
}

void *librarySymbol(void *library, const char *name)
{
    return dlsym(library, name);
}

void closeLibrary(void *library)
{
    dlclose(library);
}

void *alignedAlloc(std::size_t alignment, std::size_t bytes)
{
    return std::aligned_alloc(alignment, bytes);
}

void alignedFree(void *block)
{
    std::free(block);
}

std::size_t pageSize()
{
    return static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
}

void *reservePages(std::size_t bytes)
{
    void *map = mmap(nullptr, bytes, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return map == MAP_FAILED ? nullptr : map;
}

bool openPages(void *at, std::size_t bytes)
{
    return mprotect(at, bytes, PROT_READ | PROT_WRITE) == 0;
}

void releasePages(void *base, std::size_t bytes)
{
    munmap(base, bytes);
}

std::string folderIdentity(const std::string &folder)
{
    struct stat st;
    if (stat(folder.c_str(), &st) != 0)
        return folder;
    return std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
}

const char *bundleArchitecture()
{
    return "Linux-x86-64";
}

char pluginPathSeparator()
{
    return ':';
}

std::string systemPluginFolder()
{
    return "/usr/OFX/Plugins";
}

}  // namespace ofxhost::platform

#endif
