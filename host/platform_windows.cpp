#ifdef _WIN32

#include <windows.h>

#include <malloc.h>

#include <filesystem>

#include "platform.h"

namespace ofxhost::platform {

namespace {

std::wstring wide(const std::string &utf8)
{
    if (utf8.empty())
        return std::wstring();
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
    return out;
}

std::string lastErrorText()
{
    const DWORD code = GetLastError();
    char *text = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   code, 0, reinterpret_cast<char *>(&text), 0, nullptr);
    std::string out = text ? text : "error " + std::to_string(code);
    LocalFree(text);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' '))
        out.pop_back();
    return out;
}

}  // namespace

void *openLibrary(const std::string &path, std::string &error)
{
    // The folder of the binary is searched for the libraries it needs, as
    // hosts do for bundles.
    HMODULE library = LoadLibraryExW(wide(path).c_str(), nullptr,
                                     LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
    if (!library)
        error = lastErrorText();
    return reinterpret_cast<void *>(library);
}

void *openSystemLibrary(const char *name)
{
    // A bare name: the plug-in folder's search flags need a full path.
    return reinterpret_cast<void *>(LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS));
}

const char *openCLLoaderName()
{
    return "OpenCL.dll";
}

void *librarySymbol(void *library, const char *name)
{
    return reinterpret_cast<void *>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void closeLibrary(void *library)
{
    FreeLibrary(static_cast<HMODULE>(library));
}

void *alignedAlloc(std::size_t alignment, std::size_t bytes)
{
    return _aligned_malloc(bytes, alignment);
}

void alignedFree(void *block)
{
    _aligned_free(block);
}

std::size_t pageSize()
{
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwPageSize;
}

void *reservePages(std::size_t bytes)
{
    return VirtualAlloc(nullptr, bytes, MEM_RESERVE | MEM_COMMIT, PAGE_NOACCESS);
}

bool openPages(void *at, std::size_t bytes)
{
    DWORD previous = 0;
    return VirtualProtect(at, bytes, PAGE_READWRITE, &previous) != 0;
}

void releasePages(void *base, std::size_t)
{
    VirtualFree(base, 0, MEM_RELEASE);
}

std::string folderIdentity(const std::string &folder)
{
    std::error_code ec;
    const std::filesystem::path canonical = std::filesystem::canonical(folder, ec);
    return ec ? folder : canonical.string();
}

const char *bundleArchitecture()
{
    return "Win64";
}

char pluginPathSeparator()
{
    return ';';
}

std::string systemPluginFolder()
{
    return "C:\\Program Files\\Common Files\\OFX\\Plugins";
}

}  // namespace ofxhost::platform

#endif
