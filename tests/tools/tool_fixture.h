#pragma once

// A private folder per test, with images to feed the tool.

#include <OpenImageIO/imagebuf.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

// A file's bytes, "" when it cannot be read.
inline std::string fileContents(const std::string &file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class ToolTest : public testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/zelvo-cli-XXXXXX";
        dir = mkdtemp(pattern);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }

    std::string path(const std::string &name) const { return (dir / name).string(); }

    // A random RGBA image written in the format of the file's extension.
    void writeInput(const std::string &file, OIIO::TypeDesc type, int w, int h, unsigned seed)
    {
        std::mt19937 rng(seed);
        OIIO::ImageBuf buf(OIIO::ImageSpec(w, h, 4, type));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                float px[4];
                for (float &c : px)
                    c = type == OIIO::TypeDesc::FLOAT ? (int(rng() % 2001) - 500) / 1000.0f
                                                      : float(rng() % 256) / 255.0f;
                buf.setpixel(x, y, px);
            }
        ASSERT_TRUE(buf.write(file, type)) << buf.geterror();
    }

    // Temporary files the tool left behind.
    std::vector<std::string> strayFiles() const
    {
        std::vector<std::string> stray;
        for (const auto &e : std::filesystem::recursive_directory_iterator(dir))
            if (e.path().filename().string().find(".zelvo-") != std::string::npos)
                stray.push_back(e.path().string());
        return stray;
    }

    std::filesystem::path dir;
};
