// Makes the README's before/after pictures from the sample frame and a
// filtered frame: both frames at 8 bits, and a 3x close-up of one rectangle
// of each side by side. Given a close-up name, it writes only that close-up.
// Native, libpng only.
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Image {
    png_uint_32 w = 0, h = 0;
    std::vector<png_uint_16> rgba;  // 16-bit samples
};

Image Read(const char* path) {
    png_image img = {};
    img.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&img, path)) {
        std::fprintf(stderr, "make_pictures: cannot read %s\n", path);
        std::exit(2);
    }
    // The "linear" format hands the 16-bit samples over as stored; any 8-bit
    // format would treat them as linear light and re-encode them brighter.
    img.format = PNG_FORMAT_LINEAR_RGB_ALPHA;
    Image out{img.width, img.height, std::vector<png_uint_16>(PNG_IMAGE_SIZE(img) / 2)};
    png_image_finish_read(&img, nullptr, out.rgba.data(), 0, nullptr);
    return out;
}

void Write(const char* path, png_uint_32 w, png_uint_32 h, const std::vector<png_byte>& rgb) {
    png_image img = {};
    img.version = PNG_IMAGE_VERSION;
    img.width = w;
    img.height = h;
    img.format = PNG_FORMAT_RGB;
    if (!png_image_write_to_file(&img, path, 0, rgb.data(), 0, nullptr)) {
        std::fprintf(stderr, "make_pictures: cannot write %s\n", path);
        std::exit(2);
    }
}

void WriteFrame(const char* path, const Image& im) {
    std::vector<png_byte> rgb(size_t(im.w) * im.h * 3);
    for (size_t i = 0; i < size_t(im.w) * im.h; ++i)
        for (int c = 0; c < 3; ++c) rgb[3 * i + c] = png_byte(im.rgba[4 * i + c] >> 8);
    Write(path, im.w, im.h, rgb);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 8 && argc != 9) {
        std::fprintf(stderr, "usage: make_pictures BEFORE.png AFTER.png OUTDIR X Y W H [CLOSEUP.png]\n");
        return 2;
    }
    const Image before = Read(argv[1]), after = Read(argv[2]);
    const std::string dir = argv[3];
    const int x0 = std::atoi(argv[4]), y0 = std::atoi(argv[5]), cw = std::atoi(argv[6]), ch = std::atoi(argv[7]);
    const std::string closeup = argc == 9 ? argv[8] : "closeup.png";
    if (argc == 8) {
        WriteFrame((dir + "/frame_before.png").c_str(), before);
        WriteFrame((dir + "/frame_after.png").c_str(), after);
    }
    const int zoom = 3, gap = 6;
    const png_uint_32 w = 2 * cw * zoom + gap, h = ch * zoom;
    std::vector<png_byte> rgb(size_t(w) * h * 3, 255);
    for (int side = 0; side < 2; ++side) {
        const Image& im = side ? after : before;
        for (png_uint_32 y = 0; y < h; ++y)
            for (int x = 0; x < cw * zoom; ++x) {
                const size_t src = size_t(y0 + y / zoom) * im.w + x0 + x / zoom;
                const size_t dst = size_t(y) * w + side * (cw * zoom + gap) + x;
                for (int c = 0; c < 3; ++c) rgb[3 * dst + c] = png_byte(im.rgba[4 * src + c] >> 8);
            }
    }
    Write((dir + "/" + closeup).c_str(), w, h, rgb);
    return 0;
}
