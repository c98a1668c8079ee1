#include "support/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include <sys/wait.h>
#include <unistd.h>

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "tarsola-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        ADD_FAILURE() << "cannot create a temporary folder";
    }
    path_ = pattern;
}

TempDir::~TempDir()
{
    std::error_code ignored;
    // Folders a test made read-only must become writable again to be removed.
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored)) {
        if (entry.is_directory(ignored)) {
            std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ignored);
        }
    }
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
}

FIBITMAP* makeBitmap(int width, int height, int bpp, const PixelValue& value)
{
    FIBITMAP* bitmap = FreeImage_Allocate(width, height, bpp);
    if (!bitmap) {
        ADD_FAILURE() << "FreeImage_Allocate failed";
        return nullptr;
    }
    if (bpp == 8) {
        RGBQUAD* palette = FreeImage_GetPalette(bitmap);
        for (int i = 0; i < 256; ++i) {
            palette[i].rgbRed = palette[i].rgbGreen = palette[i].rgbBlue = static_cast<BYTE>(i);
        }
    }
    const int bytesPerPixel = bpp / 8;
    for (int y = 0; y < height; ++y) {
        BYTE* scanline = FreeImage_GetScanLine(bitmap, y);
        for (int x = 0; x < width; ++x) {
            for (int i = 0; i < bytesPerPixel; ++i) {
                scanline[x * bytesPerPixel + i] = value(x, y);
            }
        }
    }
    return bitmap;
}

void writeImage(const std::string& path, FREE_IMAGE_FORMAT format, int width, int height, int bpp,
                const PixelValue& value, int flags)
{
    FIBITMAP* bitmap = makeBitmap(width, height, bpp, value);
    ASSERT_NE(bitmap, nullptr);
    const BOOL saved = FreeImage_Save(format, bitmap, path.c_str(), flags);
    FreeImage_Unload(bitmap);
    ASSERT_TRUE(saved) << "cannot write test image " << path;
}

std::uint8_t rectangleFoot(int x, int y)
{
    if (x < 20 || x > 129 || y < 30 || y > 329) {
        return 0;
    }
    return static_cast<std::uint8_t>(20 + (x * 7 + y * 3) % 200);
}

std::vector<std::uint8_t> readFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string readFileText(const std::string& path)
{
    const auto bytes = readFileBytes(path);
    return {bytes.begin(), bytes.end()};
}

void writeFileBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

bool fileExists(const std::string& path) { return std::filesystem::exists(path); }

int runInChild(const std::function<int()>& body)
{
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        const int code = body();
        std::fflush(nullptr);
        _exit(code);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) {
        return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
