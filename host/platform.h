#pragma once

// What differs between the systems the host runs on, each concern in one
// place: loading a plug-in binary, memory between inaccessible pages, and
// where plug-ins live. platform_posix.cpp and platform_windows.cpp hold the
// two sides; nothing else in the host asks which system it is on.

#include <cstddef>
#include <string>
#include <vector>

namespace ofxhost::platform {

// Shared libraries. open() gives null and fills `error` with the loader's
// reason on failure; every symbol is resolved at once where the loader can.
void *openLibrary(const std::string &path, std::string &error);
void *librarySymbol(void *library, const char *name);
void closeLibrary(void *library);
// A library of the system's, by its bare name ("libOpenCL.so.1",
// "OpenCL.dll"), searched where the system keeps its own; null when absent.
void *openSystemLibrary(const char *name);
const char *openCLLoaderName();

// Aligned blocks for the plug-in's memory suites (size a multiple of the
// alignment); freed only by alignedFree.
void *alignedAlloc(std::size_t alignment, std::size_t bytes);
void alignedFree(void *block);

// Pages: reserved inaccessible, then partly opened for reading and writing.
std::size_t pageSize();
void *reservePages(std::size_t bytes);  // null on failure
bool openPages(void *at, std::size_t bytes);
void releasePages(void *base, std::size_t bytes);

// One text per folder however it is reached (through links or not).
std::string folderIdentity(const std::string &folder);

// The standard folders of plug-ins: the architecture folder inside a
// bundle, the separator of OFX_PLUGIN_PATH and the system's own folder.
const char *bundleArchitecture();
char pluginPathSeparator();
std::string systemPluginFolder();

}  // namespace ofxhost::platform
