// fuzz_read_bmp.cpp -- libFuzzer harness: any bytes given to read_bmp as a file are
// either refused with a zeroed image or read into an image of the header's size.
#include "image.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const std::string path = "/tmp/tallymap-fuzz-bmp-" + std::to_string(getpid()) + ".bmp";
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) return 0;
    if (size > 0 && std::fwrite(data, 1, size, f) != size) std::abort();
    if (std::fclose(f) != 0) std::abort();

    RgbImage image{};
    if (read_bmp(path.c_str(), image)) {
        if (image.width <= 0 || image.width > MAX_BMP_WIDTH || image.height <= 0 ||
            image.channels != 3 || !image.pixels)
            std::abort();
        // resampling stays inside the source whatever its sides
        RgbImage texture{};
        if (int64_t(image.width) * image.height <= 1 << 20 && !resample_image(image, texture))
            std::abort();
        free_image(texture);
    } else if (image.width || image.height || image.channels || image.pixels) {
        std::abort();
    }
    free_image(image);
    return 0;
}
