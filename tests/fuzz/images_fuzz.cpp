// Fuzz target "images": every image reader: PPM and PGM (text and binary),
// the raw predicted "J6"/"J7" images, colour PNG textures (RGB and RGBA,
// with their ".info" text, its number plate colours and custom mip levels),
// 16-bit grey PNG height maps, and the image cache with its reduction of
// detail and mip chains.
#include "fuzz/fuzz_target.h"

#include "bike/bike_create.h"
#include "core/alloc.h"
#include "core/file.h"
#include "render/image.h"
#include "render/render_settings.h"

#include <string>

#include <zlib.h>

enum ImageReader {
    READ_RGB,        // P3, P6, J6, J7 from an open file
    READ_PGM,        // P2, P5
    READ_TEXTURE,    // PNG colour texture (and its .info)
    READ_RGBA,       // PNG as RGBA, else J6/J7 as RGBA
    READ_GREY,       // PNG as 16-bit grey
    READ_CACHED,     // the image cache: any format, detail dropped
    IMAGE_READERS,
};

static int run(const uint8_t *data, size_t size)
{
    FuzzSplit input = split_selector(data, size);
    int reader = input.selector % IMAGE_READERS;
    int form = input.selector / IMAGE_READERS % 2 ? INPUT_GZIPPED : INPUT_PLAIN;
    place_input("fuzz/image", input.data, input.size, form);
    if (input.selector & 0x80)
        write_data_file("fuzz/image.info", std::string("[mip_custom] [mip_max_alpha] "
                                                       "[numberbackground:1,0.5,0 [numberforeground:nan,2,-1"));
    else
        remove_data_file("fuzz/image.info");
    uint8_t *pixels = nullptr;
    uint16_t *samples = nullptr;
    int width = 0, height = 0, channels = 0;
    char *info = nullptr;
    GameFile *file = nullptr;
    switch (reader) {
    case READ_RGB:
    case READ_PGM:
        file = file_open("@fuzz/image", "rb");
        if (file) {
            if (reader == READ_RGB)
                read_rgb_image(file, &pixels, &width, &height);
            else
                read_pgm(file, &pixels, &width, &height);
            file_close(file);
        }
        checked_free(pixels);
        break;
    case READ_TEXTURE:
        if (load_png_texture_image("@fuzz/image", &pixels, &width, &height, &channels, &info)) {
            reduce_image(&pixels, &width, &height, channels, 4096, 1);
            // The info text names a number plate's colours.
            uint8_t background[3] = {}, foreground[3] = {};
            read_number_plate_colours(info, background, foreground);
        }
        checked_free(pixels);
        checked_free(info);
        break;
    case READ_RGBA:
        read_rgba_image("@fuzz/image", &pixels, &width, &height);
        checked_free(pixels);
        break;
    case READ_GREY:
        read_png("@fuzz/image", &samples, &width, &height);
        checked_free(samples);
        break;
    default:
        texture_detail = input.selector >> 5 & 3;
        load_image(input.selector & 0x40 ? "!@fuzz/image" : "@fuzz/image", &pixels, &width, &height);
        texture_detail = 0;
        break;
    }
    reset_reader_state();
    return 0;
}

// One PNG chunk: length, type, data and CRC.
static std::string png_chunk(const char *type, const std::string &data)
{
    std::string chunk;
    for (int shift = 24; shift >= 0; shift -= 8)
        chunk += (char)(data.size() >> shift & 0xff);
    std::string body = std::string(type) + data;
    uLong crc = crc32(crc32(0, nullptr, 0), (const Bytef *)body.data(), (uInt)body.size());
    chunk += body;
    for (int shift = 24; shift >= 0; shift -= 8)
        chunk += (char)(crc >> shift & 0xff);
    return chunk;
}

static void make_seeds(std::vector<FuzzSeed> *seeds)
{
    auto add = [&](const std::string &name, int reader, const std::string &bytes) {
        seeds->push_back({name, std::string(1, (char)reader) + bytes});
    };
    std::string body(60, 'q');
    add("ppm-binary", READ_RGB, "P6\n5 4\n255\n" + body);
    add("ppm-comments", READ_RGB, "P6 # size next\n# more\n2 1 255\n" + std::string(6, 'A'));
    add("ppm-text", READ_RGB, "P3 2 2 1000 1 2 3 4 5 6 7 8 9 10 11 999\n");
    add("ppm-wide", READ_RGB, "P6 1 1 65535\n" + std::string("\xff\xff\x80\x00\x00\x01", 6));
    add("ppm-gzip", READ_RGB + IMAGE_READERS, "P6\n5 4\n255\n" + body);
    add("pgm-binary", READ_PGM, "P5 # grey\n5 4 255\n" + body.substr(0, 20));
    add("pgm-text", READ_PGM, "P2 2 2 15 1 2 3 4\n");
    add("pgm-wide", READ_PGM, "P5 1 1 1023\n" + std::string("\x03\xff", 2));
    add("raw-j6", READ_RGB, "J6 3 2\n" + body.substr(0, 18));
    add("raw-j7", READ_RGBA, "J7 2 2\n" + body.substr(0, 16));
    add("cached-j7", READ_CACHED, "J7 4 4\n" + std::string(64, '\x21'));
    add("cached-ppm", READ_CACHED + 0x20, "P6 8 8 255\n" + std::string(192, '\x40'));
    // PNGs as the game's writers make them, and one with a palette and
    // transparency and a text chunk.
    std::vector<uint8_t> rgb(6 * 6 * 3);
    for (size_t i = 0; i < rgb.size(); i++)
        rgb[i] = (uint8_t)(i * 41);
    std::vector<uint16_t> grey(5 * 4);
    for (size_t i = 0; i < grey.size(); i++)
        grey[i] = (uint16_t)(i * 2999);
    std::string folder = fuzz_data_folder() + "fuzz/";
    if (write_png_rgb((folder + "seed_rgb.png").c_str(), rgb.data(), 6, 6)) {
        std::string png = read_data_file("fuzz/seed_rgb.png");
        add("png-texture", READ_TEXTURE, png);
        add("png-texture-custom-mips", READ_TEXTURE | 0x80, png);
        add("png-rgba", READ_RGBA, png);
        add("png-cached", READ_CACHED, png);
        add("png-grey-from-rgb", READ_GREY, png);
    }
    if (write_png_gray16((folder + "seed_grey.png").c_str(), grey.data(), 5, 4)) {
        std::string png = read_data_file("fuzz/seed_grey.png");
        add("png-grey", READ_GREY, png);
        add("png-grey-texture", READ_TEXTURE, png);
    }
    // A 2 x 2 palette image with transparency and a text chunk.
    std::string scanlines = std::string("\0\x00\x01", 3) + std::string("\0\x01\x00", 3);
    uLongf packed_size = compressBound(scanlines.size());
    std::string packed(packed_size, '\0');
    compress((Bytef *)packed.data(), &packed_size, (const Bytef *)scanlines.data(), scanlines.size());
    packed.resize(packed_size);
    std::string png = "\x89PNG\r\n\x1a\n";
    png += png_chunk("IHDR", std::string("\0\0\0\x02\0\0\0\x02\x08\x03\0\0\0", 13));
    png += png_chunk("PLTE", std::string("\xff\0\0\0\0\xff", 6));
    png += png_chunk("tRNS", std::string("\x80", 1));
    png += png_chunk("tEXt", std::string("Comment\0[mip_max_alpha]", 23));
    png += png_chunk("IDAT", packed);
    png += png_chunk("IEND", "");
    add("png-palette", READ_TEXTURE, png);
    add("png-palette-grey", READ_GREY, png);
}

RUT_FUZZ_TARGET(images, run, make_seeds);
