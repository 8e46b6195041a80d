#include "output_memory.h"

#ifdef __linux__
#include <sys/mman.h>
#endif

#include <cstdlib>
#include <mutex>
#include <new>
#include <unordered_map>
#include <vector>

namespace zelvopy {

namespace {

std::mutex lock;
std::unordered_map<void *, std::size_t> sizes;  // every block handed out or kept
std::vector<void *> kept;                       // the most recently given back last

}  // namespace

void *takeOutputMemory(std::size_t bytes)
{
    const std::size_t size = (bytes + 63) / 64 * 64 + 64;
    {
        std::lock_guard<std::mutex> guard(lock);
        for (auto it = kept.rbegin(); it != kept.rend(); ++it)
            if (sizes[*it] == size) {
                void *block = *it;
                kept.erase(std::next(it).base());
                return block;
            }
    }
    // Frames in huge pages where the system has them, as NumPy keeps its
    // own large arrays: a 4K float frame spans 32,000 small pages, and a
    // render through them misses the TLB on every one.
    constexpr std::size_t huge = std::size_t(2) << 20;
    const bool large = size >= huge;
    void *block = std::aligned_alloc(large ? huge : 64, large ? (size + huge - 1) / huge * huge : size);
    if (!block)
        throw std::bad_alloc();
#ifdef __linux__
    if (large)
        madvise(block, (size + huge - 1) / huge * huge, MADV_HUGEPAGE);
#endif
    std::lock_guard<std::mutex> guard(lock);
    sizes[block] = size;
    return block;
}

void giveOutputMemory(void *block) noexcept
{
    void *dropped = nullptr;
    {
        std::lock_guard<std::mutex> guard(lock);
        kept.push_back(block);
        if (kept.size() > kKept) {
            dropped = kept.front();
            kept.erase(kept.begin());
            sizes.erase(dropped);
        }
    }
    std::free(dropped);
}

}  // namespace zelvopy
