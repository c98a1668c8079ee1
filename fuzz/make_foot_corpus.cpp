// Writes the fuzzer's seed corpus: every accepted format at every bit depth a foot image may
// have, small and odd sizes, BMPs with each info header version, compressed variants, 3D
// scans in every mesh format, and a few inputs the doors must refuse. Run: make_foot_corpus <folder>
#include "fuzz/bmp_headers.h"
#include "support/scan_files.h"
#include "support/zip_parts.h"

#include <FreeImage.h>

#include <cmath>
#include <cstdio>
#include <cstdint>
#include <string>
#include <vector>

namespace {

std::string folder;
int written = 0;

void put(const std::string& name, const std::vector<std::uint8_t>& bytes)
{
    const std::string path = folder + "/" + name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        std::exit(1);
    }
    std::fclose(file);
    ++written;
}

// A foot-like picture: an oval of grey that rises towards its middle, 0 around it.
FIBITMAP* foot(int width, int height, int bpp)
{
    FIBITMAP* bitmap = FreeImage_Allocate(width, height, bpp);
    if (bpp == 8) {
        RGBQUAD* palette = FreeImage_GetPalette(bitmap);
        for (int i = 0; i < 256; ++i) {
            palette[i].rgbRed = palette[i].rgbGreen = palette[i].rgbBlue = static_cast<BYTE>(i);
        }
    }
    const int bytes = bpp / 8;
    for (int y = 0; y < height; ++y) {
        BYTE* line = FreeImage_GetScanLine(bitmap, y);
        for (int x = 0; x < width; ++x) {
            const double dx = (x - width / 2.0) / (width / 2.5 + 0.5);
            const double dy = (y - height / 2.0) / (height / 2.2 + 0.5);
            const double r = dx * dx + dy * dy;
            const BYTE v = r < 1 ? static_cast<BYTE>(40 + 200 * (1 - r)) : 0;
            for (int b = 0; b < bytes; ++b) {
                line[x * bytes + b] = b == 3 ? 255 : v;
            }
        }
    }
    return bitmap;
}

std::vector<std::uint8_t> save(FIBITMAP* bitmap, FREE_IMAGE_FORMAT format, int flags = 0)
{
    return bmp_headers::encoded(bitmap, format, flags);
}

void each(const std::string& stem, FIBITMAP* bitmap, FREE_IMAGE_FORMAT format, const char* ext,
          int flags = 0)
{
    const auto bytes = save(bitmap, format, flags);
    if (!bytes.empty()) {
        put(stem + "." + ext, bytes);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    folder = argv[1];
    FreeImage_Initialise();

    struct Size { int w, h; };
    // Small and odd sizes keep mutations fast; one full-size foot per compressed format.
    const Size sizes[] = {{1, 1}, {3, 5}, {7, 2}, {13, 17}, {33, 9}};
    for (const Size s : sizes) {
        for (int bpp : {8, 24, 32}) {
            const std::string stem = std::to_string(s.w) + "x" + std::to_string(s.h) + "_" + std::to_string(bpp);
            FIBITMAP* bitmap = foot(s.w, s.h, bpp);
            const auto v3 = save(bitmap, FIF_BMP);
            put(stem + "_v3.bmp", v3);
            for (std::uint32_t info : {52u, 56u, 108u, 124u}) {
                put(stem + "_v" + std::to_string(info) + ".bmp",
                    bmp_headers::withLaterHeader(v3, info, false, bpp == 32));
            }
            put(stem + "_v5_topdown.bmp", bmp_headers::withLaterHeader(v3, 124, true, bpp == 32));
            if (bpp != 32) {
                put(stem + "_os2.bmp", bmp_headers::withOs2Header(v3));
            }
            if (bpp == 8) {
                const auto rle = save(bitmap, FIF_BMP, BMP_SAVE_RLE);
                put(stem + "_rle8_v3.bmp", rle);
                put(stem + "_rle8_v5.bmp", bmp_headers::withLaterHeader(rle, 124));
            }
            each(stem, bitmap, FIF_PNG, "png");
            each(stem, bitmap, FIF_TIFF, "tif", TIFF_NONE);
            each(stem + "_lzw", bitmap, FIF_TIFF, "tif", TIFF_LZW);
            each(stem, bitmap, FIF_TARGA, "tga");
            each(stem + "_rle", bitmap, FIF_TARGA, "tga", TARGA_SAVE_RLE);
            if (bpp != 32) {
                each(stem, bitmap, FIF_JPEG, "jpg", JPEG_QUALITYNORMAL);
                each(stem + "_progressive", bitmap, FIF_JPEG, "jpg", JPEG_PROGRESSIVE);
            }
            if (bpp == 8) {
                each(stem, bitmap, FIF_PGMRAW, "pgm");
                each(stem + "_ascii", bitmap, FIF_PGM, "pgm", PNM_SAVE_ASCII);
            }
            if (bpp == 24) {
                each(stem, bitmap, FIF_PPMRAW, "ppm");
                each(stem + "_ascii", bitmap, FIF_PPM, "ppm", PNM_SAVE_ASCII);
                FIBITMAP* c565 = FreeImage_ConvertTo16Bits565(bitmap);
                put(stem + "_565_v3.bmp", save(c565, FIF_BMP));
                put(stem + "_565_v5.bmp", bmp_headers::withLaterHeader(save(c565, FIF_BMP), 124));
                FreeImage_Unload(c565);
                FIBITMAP* c555 = FreeImage_ConvertTo16Bits555(bitmap);
                put(stem + "_555_v3.bmp", save(c555, FIF_BMP));
                FreeImage_Unload(c555);
            }
            FreeImage_Unload(bitmap);
        }
        // Packed pixels and 16-bit grey samples.
        const std::string stem = std::to_string(s.w) + "x" + std::to_string(s.h);
        FIBITMAP* grey = foot(s.w, s.h, 8);
        FIBITMAP* mono = FreeImage_Threshold(grey, 100);
        each(stem + "_1", mono, FIF_BMP, "bmp");
        each(stem + "_1", mono, FIF_PNG, "png");
        each(stem + "_1", mono, FIF_PBMRAW, "pbm");
        each(stem + "_1_ascii", mono, FIF_PBM, "pbm", PNM_SAVE_ASCII);
        FIBITMAP* wide = FreeImage_ConvertToType(grey, FIT_UINT16);
        each(stem + "_16", wide, FIF_PNG, "png");
        each(stem + "_16", wide, FIF_TIFF, "tif");
        FreeImage_Unload(wide);
        FreeImage_Unload(mono);
        FreeImage_Unload(grey);
    }

    // Full-size feet, compressed, as a workshop would load them.
    FIBITMAP* full = foot(150, 360, 8);
    each("foot_150x360_8", full, FIF_PNG, "png");
    each("foot_150x360_8", full, FIF_JPEG, "jpg");
    put("foot_150x360_8_rle8_v5.bmp", bmp_headers::withLaterHeader(save(full, FIF_BMP, BMP_SAVE_RLE), 124));
    each("foot_150x360_8_lzw", full, FIF_TIFF, "tif", TIFF_LZW);
    FreeImage_Unload(full);

    // Scans of a small sole (250 x 100 mm on a coarse lattice) in every mesh format, turned,
    // in metres, with quads, and a point cloud the scan door refuses.
    ScanMesh sole = latticeSurface(25, 125, 55, 305, 25, [](double x, double y) {
        return y > 110 || std::fabs(x - 75) < 30;  // a narrower heel
    }, [](double x, double y) { return 3 + x / 50 + y / 100; });
    put("sole_bin.stl", binaryStl(sole));
    put("sole_ascii.stl", asciiStl(sole));
    put("sole.obj", objFile(sole));
    put("sole_ascii.ply", asciiPly(sole));
    put("sole_bin.ply", binaryPly(sole));
    ScanMesh turned = sole;
    transformMesh(turned, [](double& x, double& y, double& z) {
        const double ox = x;
        x = (ox * 0.6 - y * 0.8) / 1000, y = z / 1000, z = -(ox * 0.8 + y * 0.6) / 1000;
    });
    put("sole_turned_m_yup.stl", binaryStl(turned));
    std::string quads = "v 0 0 0\nv 250 0 1\nv 250 100 2\nv 0 100 1\nv 125 50 -1\n"
                        "f 1 2 5\nf 2/1 3/1 5/1\nf -2//1 -1//1 4//1\nf 4 1 5\nf 1 2 3 4\n";
    put("quads.obj", std::vector<std::uint8_t>(quads.begin(), quads.end()));
    std::string cloud = "ply\nformat ascii 1.0\nelement vertex 2\nproperty float x\n"
                        "property float y\nproperty float z\nend_header\n0 0 0\n1 1 1\n";
    put("points.ply", std::vector<std::uint8_t>(cloud.begin(), cloud.end()));

    // Jobs: a whole one with a small foot and a measurement, one with the prescription's
    // elements, and one without its foot, one of a newer format and one whose parts claim more
    // than they hold.
    FIBITMAP* small = foot(13, 17, 8);
    const std::vector<std::uint8_t> smallBmp = save(small, FIF_BMP);
    const std::string smallFoot(smallBmp.begin(), smallBmp.end());
    const std::string recipe =
        "{\"format\": 1, \"version\": \"0.1.0\", \"files\": {\"foot\": \"foot.bmp\", "
        "\"pressure\": \"plate.csv\"}, \"insole\": {\"widthMm\": 12.0, \"lengthMm\": 16.0, "
        "\"heightRatio\": 1.0, \"limit\": false, \"levelMm\": 0.2, \"scanUnits\": \"auto\", "
        "\"scanUp\": \"+z\"}, \"relief\": {\"on\": true, \"thresholdKpa\": 200.0, "
        "\"depthMm\": 3.0, \"marginMm\": 5.0, \"transitionMm\": 8.0}, \"pressure\": "
        "{\"pitchMm\": 5.0, \"units\": \"kPa\", \"heelFirst\": false}, \"placement\": "
        "{\"shiftXMm\": 0.0, \"shiftYMm\": 0.0, \"turnDegrees\": 0.0, \"mirror\": false, "
        "\"accept\": false}, \"milling\": "
        "{\"tool-mm\": 6.0, \"rpm\": 14000.0}}\n";
    const auto zipped = [](const std::vector<ZipPart>& parts) {
        const std::string bytes = zipOf(parts);
        return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
    };
    std::vector<ZipPart> job = jobPartsAround("Tarsola/foot.bmp", smallFoot, recipe);
    job.push_back({"Tarsola/pressure.csv", "0,120,0\n130,300,140\n0,90,0\n"});
    put("job.3mf", zipped(job));
    put("job_without_foot.3mf", zipped({job[0], job[2], job[3]}));
    std::string newer = recipe;
    newer.replace(newer.find("1,"), 1, "2");
    put("job_newer.3mf", zipped(jobPartsAround("Tarsola/foot.bmp", smallFoot, newer)));
    std::vector<ZipPart> lying = job;
    lying[1].claimedSize = 70u << 20;
    put("job_part_too_large.3mf", zipped(lying));
    // A job of the same small foot as the batch writes it today, without a measurement and
    // with the prescription's metatarsal pad and arch support on: its recipe is the batch's own
    // text (tarsola-batch 13x17_8_v3.bmp --3mf J --arch-mm 4 --met-pad-mm 3), every section of
    // it, the elements included.
    const std::string prescribed = R"({
  "format": 1,
  "version": "0.1.0",
  "files": {
    "foot": "13x17_8_v3.bmp",
    "pressure": null
  },
  "insole": {
    "widthMm": 12.0,
    "lengthMm": 16.0,
    "heightRatio": 1.0,
    "limit": false,
    "levelMm": 0.2,
    "scanUnits": "auto",
    "scanUp": "+z"
  },
  "relief": {
    "on": true,
    "thresholdKpa": 200.0,
    "depthMm": 3.0,
    "marginMm": 5.0,
    "transitionMm": 8.0
  },
  "pressure": {
    "pitchMm": 5.0,
    "units": "kPa",
    "heelFirst": false
  },
  "placement": {
    "shiftXMm": 0.0,
    "shiftYMm": 0.0,
    "turnDegrees": 0.0,
    "mirror": false,
    "accept": false
  },
  "elements": {
    "side": "auto",
    "metPad": true,
    "metPadHeightMm": 3.0,
    "metPadOffsetMm": 8.0,
    "metPadAlongMm": 0.0,
    "metPadAcrossMm": 0.0,
    "metBar": false,
    "metBarHeightMm": 4.0,
    "metBarAlongMm": 0.0,
    "arch": true,
    "archHeightMm": 4.0,
    "heelCup": false,
    "heelCupHeightMm": 6.0,
    "heelCupWidthMm": 12.0,
    "rearfootPost": false,
    "rearfootPostDegrees": 4.0
  },
  "milling": {
    "tool-mm": 6.0,
    "stepover-mm": 0.5,
    "stepdown-mm": 2.0,
    "allowance-mm": 0.5,
    "feed": 2000.0,
    "plunge-feed": 500.0,
    "rpm": 14000.0,
    "safe-mm": 5.0,
    "flute-mm": 40.0,
    "blank-mm": 0.0
  }
}
)";
    put("job_elements.3mf", zipped(jobPartsAround("Tarsola/foot.bmp", smallFoot, prescribed)));

    // A format the door refuses before decoding, and something that is no image at all.
    each("13x17_8", small, FIF_GIF, "gif");
    FreeImage_Unload(small);
    put("not_an_image.txt", std::vector<std::uint8_t>{'f', 'o', 'o', 't', '\n'});

    FreeImage_DeInitialise();
    std::printf("%d files written to %s\n", written, folder.c_str());
    return 0;
}
