// Reading a written file back on several threads: a frame's decode costs
// as much as its encode, and one reader keeps one core busy.

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

#include "image_io.h"
#include "pixel_rows.h"

bool readBackBands(const std::string &path, int rowsPerBand, OIIO::TypeDesc type, std::vector<std::uint64_t> &hashes,
                   std::string &error)
{
    OIIO::ImageSpec config;
    config.attribute("oiio:UnassociatedAlpha", 1);
    auto first = OIIO::ImageInput::open(path, &config);
    if (!first) {
        error = OIIO::geterror();
        return false;
    }
    const OIIO::ImageSpec header = first->spec();
    const int rows = bandRows(header, rowsPerBand);
    const int bands = (header.height + rows - 1) / rows;
    hashes.assign(static_cast<std::size_t>(bands), 0);
    const std::size_t rowBytes = static_cast<std::size_t>(header.width) * header.nchannels * type.size();

    std::atomic<int> next{0};
    std::atomic<bool> failed{false};
    std::mutex errorMutex;
    // Each worker takes the next band until none is left; a reader is not
    // shared between threads.
    auto work = [&](std::unique_ptr<OIIO::ImageInput> in) {
        if (!in) {
            in = OIIO::ImageInput::open(path, &config);
            if (!in) {
                std::lock_guard<std::mutex> lock(errorMutex);
                error = OIIO::geterror();
                failed = true;
                return;
            }
        }
        std::vector<unsigned char> band(rowBytes * static_cast<std::size_t>(rows));
        for (int b = next++; b < bands && !failed; b = next++) {
            const int y = header.y + b * rows, end = std::min(y + rows, header.y + header.height);
            if (!readBand(*in, header, y, end, type, band.data())) {
                std::lock_guard<std::mutex> lock(errorMutex);
                error = in->geterror();
                failed = true;
                return;
            }
            StreamHash hash;
            hash.add(band.data(), rowBytes * static_cast<std::size_t>(end - y));
            hashes[static_cast<std::size_t>(b)] = hash.value();
        }
    };
    // Only files that index their chunks may be read from the middle: the
    // readers of stream formats (PNM, HDR, ...) decode from the start.
    const std::string format = first->format_name();
    const bool indexed = format == "openexr" || format == "tiff";
    const int cores = static_cast<int>(std::min(4u, std::max(1u, std::thread::hardware_concurrency())));
    const int workers = indexed ? std::max(1, std::min(bands, cores)) : 1;
    std::vector<std::thread> threads;
    for (int t = 1; t < workers; ++t)
        threads.emplace_back(work, nullptr);
    work(std::move(first));
    for (std::thread &t : threads)
        t.join();
    return !failed;
}
