// fuzz_read_bmp.cpp -- libFuzzer harness: any bytes given to read_bmp as a file are
// either refused with a zeroed image or read into an image of the header's size, at
// most 6144 pixels each way; resampling such an image stays inside it.
#include "fuzz_support.h"
#include "image.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    enter_scratch_directory();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    write_bytes("image.bmp", data, size);
    RgbImage image{};
    if (!read_bmp("image.bmp", image)) {
        FUZZ_CHECK(!image.width && !image.height && !image.channels && !image.pixels);
        return 0;
    }
    FUZZ_CHECK(image.width > 0 && image.width <= MAX_BMP_WIDTH);
    FUZZ_CHECK(image.height > 0 && image.height <= MAX_BMP_HEIGHT);
    FUZZ_CHECK(image.channels == 3 && image.pixels);
    RgbImage texture{};   // small ones only: a large texture costs time and finds nothing new
    if (image.width <= 256 && image.height <= 256) FUZZ_CHECK(resample_image(image, texture));
    free_image(texture);
    free_image(image);
    return 0;
}
