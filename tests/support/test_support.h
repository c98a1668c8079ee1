// Helpers shared by the tests: temporary folders and foot images written with FreeImage.
#pragma once

#include <FreeImage.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A fresh folder under the system's temporary folder, removed with its contents when the
// object goes out of scope.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Value of pixel (x, y), y counted from the bottom, for every byte of that pixel.
using PixelValue = std::function<std::uint8_t(int x, int y)>;

// A standard bitmap of the given size and depth (8 with a grey palette, 24 or 32) whose
// every byte of pixel (x, y) holds value(x, y). The caller unloads it.
FIBITMAP* makeBitmap(int width, int height, int bpp, const PixelValue& value);

// Writes such a bitmap to a file in the given format; fails the current test if it cannot.
void writeImage(const std::string& path, FREE_IMAGE_FORMAT format, int width, int height, int bpp,
                const PixelValue& value, int flags = 0);

// The classic test foot: non-zero grey (varying, never 0) filling columns 20 to 129 and rows
// 30 to 329 of a 150 x 360 image, 0 elsewhere.
std::uint8_t rectangleFoot(int x, int y);

// The bytes of a whole file; empty when it cannot be read.
std::vector<std::uint8_t> readFileBytes(const std::string& path);
// The same as text, for the settings files.
std::string readFileText(const std::string& path);
void writeFileBytes(const std::string& path, const std::string& bytes);
bool fileExists(const std::string& path);

// Runs body in a child process and returns its exit code (128 + signal when it was killed).
// The child shares the test's standard streams, so captured output includes its traces.
int runInChild(const std::function<int()>& body);
