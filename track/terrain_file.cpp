// The terrain files of a track folder: terrain.hf (with terrain.png),
// shading.ppm or shadingx2.ppm, shadows.pgm, tileinfo or texturelist,
// tilemap and decals; loading them into the Terrain, saving them back and
// freeing the terrain.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <pthread.h>

#include "app/loading.h"
#include "app/shell.h"
#include "core/digest.h"
#include "core/file.h"
#include "core/message.h"
#include "platform/log.h"
#include "platform/window.h"
#include "render/image.h"
#include "render/render_settings.h"
#include "render/texture.h"
#include "track/decals.h"
#include "track/lighting.h"
#include "track/terrain.h"
#include "track/track.h"

GameFile *open_track_file(const char *folder, const char *name, const char *mode, int complain)
{
    char *path = (char *)xmalloc(strlen(folder) + strlen(name) + 2);
    sprintf(path, "%s/%s", folder, name);
    GameFile *file = file_open(path, mode);
    if (!file && complain) {
        char message[1000];
        snprintf(message, sizeof message, "Can't open '%.950s'", path);
        print_message(message);
    }
    checked_free(path);
    return file;
}

static void reset_terrain_record(Terrain *terrain)
{
    memset(terrain, 0, sizeof *terrain);
    terrain->lod_centre_x = LOD_CENTRE_NONE;
    terrain->lod_centre_z = LOD_CENTRE_NONE;
    terrain->texture_size = 128;
    // Stamp 0 means "current": the first frame's markings need a stamp above it.
    terrain->current_stamp = 1;
}

static void delete_textures(int *textures, int count)
{
    for (int i = 0; i < count; i++)
        if (textures[i]) {
            delete_texture(textures[i]);
            textures[i] = 0;
        }
}

void free_terrain(Terrain *terrain)
{
    if (terrain->framebuffer)
        delete_framebuffer(terrain->framebuffer);
    free_decal_storage(terrain);
    delete_textures(&terrain->level_textures[0][0][0][0], (int)(sizeof terrain->level_textures / sizeof(int)));
    int blocks = terrain->grid_exponent ? terrain_block_count(terrain) : 0;
    for (int layer = 0; layer < 3; layer++)
        if (terrain->block_textures[layer]) {
            delete_textures(terrain->block_textures[layer], blocks * blocks);
            checked_free(terrain->block_textures[layer]);
        }
    if (terrain->low_detail_textures) {
        int count = terrain_low_detail_count(terrain);
        delete_textures(terrain->low_detail_textures, count * count);
    }
    // The large blocks are kept for the next load (its pages already there).
    free_large_block(terrain->heights);   // the loaded heights share its block
    free_large_block(terrain->lod_error);
    free_large_block(terrain->lod_error_next);
    checked_free(terrain->face_normals);
    checked_free(terrain->low_detail_textures);
    free_large_block(terrain->shading);
    free_large_block(terrain->normal_texels);
    free_large_block(terrain->shadows);
    checked_free(terrain->tile_map);
    checked_free(terrain->lod_node_bits);
    checked_free(terrain->low_detail_dirty);
    checked_free(terrain->shading_dirty);
    checked_free(terrain->normal_dirty);
    checked_free(terrain->triangle_dirty);
    checked_free(terrain->block_stamps);
    checked_free(terrain->scratch_image);
    checked_free(terrain->composite_buffer);
    if (terrain == current_terrain)
        current_terrain = nullptr;
    reset_terrain_record(terrain);
}

static void log_digest(const Ripemd160Context *digest)
{
    char hex[2 * RIPEMD160_DIGEST_SIZE + 1];
    for (int i = 0; i < RIPEMD160_DIGEST_SIZE; i++)
        sprintf(hex + 2 * i, "%02x", digest->digest[i]);
    log_printf("%s\n", hex);
}

// The height of a stored sample value. In double: in float the top value
// lands an ulp off the stored maximum, and a save after a load would move
// the maximum written in the header.
static float sample_height(double min, double range, unsigned v)
{
    return (float)(min + (double)v * range / 65535.0);
}

// sample_height of every 16-bit value, made once per load.
static float value_heights[65536];

static void make_value_heights(const Terrain *terrain)
{
    double min = terrain->min_height, range = (double)terrain->max_height - (double)terrain->min_height;
    for (unsigned v = 0; v < 65536; v++)
        value_heights[v] = sample_height(min, range, v);
}

// The raw body: side^2 little-endian 16-bit samples, into the heights and
// the loaded heights. 0 when it is short. The digest may be null.
static int read_height_body(Terrain *terrain, GameFile *file, Ripemd160Context *digest)
{
    size_t samples = (size_t)terrain->side * terrain->side;
    uint8_t buffer[65536];
    size_t done = 0;
    while (done < samples) {
        size_t want = samples - done < sizeof buffer / 2 ? samples - done : sizeof buffer / 2;
        int got = file_read(file, buffer, (int)(want * 2));
        if (got != (int)(want * 2))
            return 0;
        if (digest)
            ripemd160_update(digest, buffer, got);
        float *heights = terrain->heights + done, *loaded = terrain->loaded_heights + done;
        for (size_t i = 0; i < want; i++)
            heights[i] = loaded[i] = value_heights[buffer[2 * i] | (unsigned)buffer[2 * i + 1] << 8];
        done += want;
    }
    return 1;
}

// Heights from terrain.png, into the heights and the loaded heights; a
// missing or unreadable image gives a flat field. The digest may be null.
static void read_height_image(Terrain *terrain, const char *folder, Ripemd160Context *digest)
{
    int side = terrain->side;
    char *path = (char *)xmalloc(strlen(folder) + 16);
    sprintf(path, "%s/terrain.png", folder);
    uint16_t *image = nullptr;
    int width = 0, height = 0;
    int ok = read_png(path, &image, &width, &height);
    checked_free(path);
    // A narrower image repeats its last column from column `inside` on.
    int inside = ok && width < side ? width : side;
    uint8_t row_bytes[2 * 4096];
    for (int row = 0; row < side; row++) {
        float *heights = terrain->heights + (size_t)row * side;
        float *loaded = terrain->loaded_heights + (size_t)row * side;
        const uint16_t *line = ok ? image + (size_t)(row < height ? row : height - 1) * width : nullptr;
        if (line) {
            for (int column = 0; column < inside; column++)
                heights[column] = loaded[column] = value_heights[line[column]];
            for (int column = inside; column < side; column++)
                heights[column] = loaded[column] = value_heights[line[width - 1]];
        } else {
            for (int column = 0; column < side; column++)
                heights[column] = loaded[column] = terrain->min_height;
        }
        if (!digest)
            continue;
        int fill = 0;
        for (int column = 0; column < side; column++) {
            unsigned v = line ? line[column < inside ? column : width - 1] : 0;
            row_bytes[fill++] = (uint8_t)v;
            row_bytes[fill++] = (uint8_t)(v >> 8);
            if (fill == (int)sizeof row_bytes || column == side - 1) {
                ripemd160_update(digest, row_bytes, fill);
                fill = 0;
            }
        }
    }
    free_large_block(image);
}

// The heights thread runs beside the rest of the load: the heights from
// terrain.png when they come from it, then the unbudgeted error pass. It
// writes only the heights (until it says they are ready) and the error
// arrays and pass state, which nothing else of the load touches; the load
// waits for the heights before anything reads them, and for the pass
// before it ends or fails.
struct HeightsJob {
    Terrain *terrain;
    const char *folder;   // the image's folder; null when the heights are in
    Ripemd160Context digest;
    int logged;           // the digest is worked out and logged
    pthread_t thread;
    int started;
    int heights_ready;    // under heights_mutex
};
static HeightsJob heights_job;
static pthread_mutex_t heights_mutex = PTHREAD_MUTEX_INITIALIZER;
static pthread_cond_t heights_signal = PTHREAD_COND_INITIALIZER;

static void *run_heights_and_lod_pass(void *)
{
    HeightsJob *job = &heights_job;
    if (job->folder)
        read_height_image(job->terrain, job->folder, job->logged ? &job->digest : nullptr);
    pthread_mutex_lock(&heights_mutex);
    job->heights_ready = 1;
    pthread_cond_broadcast(&heights_signal);
    pthread_mutex_unlock(&heights_mutex);
    run_lod_error_pass(job->terrain, 2147483647);
    return nullptr;
}

static void start_heights_job(void)
{
    heights_job.heights_ready = 0;
    heights_job.started =
        pthread_create(&heights_job.thread, nullptr, run_heights_and_lod_pass, nullptr) == 0;
    if (!heights_job.started)
        run_heights_and_lod_pass(nullptr);
}

// Waits until the heights are in (the error pass may still run).
static void wait_for_heights(void)
{
    if (!heights_job.started)
        return;
    pthread_mutex_lock(&heights_mutex);
    while (!heights_job.heights_ready)
        pthread_cond_wait(&heights_signal, &heights_mutex);
    pthread_mutex_unlock(&heights_mutex);
}

static void finish_lod_pass(void)
{
    if (heights_job.started)
        pthread_join(heights_job.thread, nullptr);
    heights_job.started = 0;
}

static void abandon_shading_read(void);

static int fail_load(Terrain *terrain, const char *message)
{
    finish_lod_pass();
    abandon_shading_read();
    if (message)
        print_message(message);
    free_terrain(terrain);
    return 0;
}

// Reads the height file into the record; 0 (with its messages) on failure.
static int load_height_field(Terrain *terrain, const char *folder)
{
    GameFile *file = open_track_file(folder, "terrain.hf", "rb", 1);
    if (!file)
        return 0;
    int exponent;
    float cell, min, max;
    if (file_scanf(file, "%d %f %f %f ", &exponent, &cell, &min, &max) != 4) {
        print_message("Bad height field parameters");
        print_message("Error reading heights");
        file_close(file);
        return 0;
    }
    // Heights and the extent stay within the coordinate limit (a NaN fails
    // every comparison), so no later sum or product of them overflows.
    if (exponent < TERRAIN_MIN_EXPONENT || exponent > TERRAIN_MAX_EXPONENT || !(cell > 0.0f) ||
        !(fabsf(min) <= TERRAIN_COORDINATE_LIMIT) || !(fabsf(max) <= TERRAIN_COORDINATE_LIMIT) ||
        !(cell * (float)(2 << exponent) <= TERRAIN_COORDINATE_LIMIT)) {
        log_printf("Bad height field parameters (%d %f %f %f)\n", exponent, cell, min, max);
        print_message("Bad height field parameters");
        print_message("Error reading heights");
        file_close(file);
        return 0;
    }
    int tiles = 1 << exponent;
    terrain->grid_exponent = exponent;
    terrain->cell = cell;
    terrain->extent = cell * (float)(2 * tiles);
    terrain->double_cell = 2.0f * cell;
    terrain->lod_tolerance = terrain_lod_tolerance;
    terrain->min_height = min;
    terrain->loaded_min_height = min;
    terrain->max_height = max;
    terrain->side = 2 * tiles + 1;
    size_t samples = (size_t)terrain->side * terrain->side;
    // A raw body must be there whole: nothing is allocated for a header that
    // declares more samples than the file holds.
    if (file_peekc(file) == ':' && file_bytes_bound(file) < 1 + 2 * (int64_t)samples) {
        log_printf("Short height field: %d x %d samples declared, the file holds at most %lld bytes\n",
                   terrain->side, terrain->side, (long long)file_bytes_bound(file));
        print_message("Error reading heights");
        file_close(file);
        return 0;
    }
    int nodes = terrain_lod_node_count(exponent);
    terrain->lod_node_bits = allocate_terrain_bitmap(nodes, 0);
    terrain->heights = (float *)checked_malloc_large(2 * samples * sizeof(float));
    if (!terrain->heights || !terrain->lod_node_bits) {
        print_message("Error reading heights");
        file_close(file);
        return 0;
    }
    terrain->loaded_heights = terrain->heights + samples;

    show_loading_step("Loading heights");
    // The digest is only logged: it is worked out only when it will be.
    HeightsJob *job = &heights_job;
    job->terrain = terrain;
    job->folder = nullptr;
    job->logged = verbose_setting >= 2;
    ripemd160_init(&job->digest);
    make_value_heights(terrain);
    if (file_getc(file) == ':') {
        if (!read_height_body(terrain, file, job->logged ? &job->digest : nullptr)) {
            log_printf("Short height field: fewer than %lu samples\n", (unsigned long)samples);
            print_message("Error reading heights");
            file_close(file);
            return 0;
        }
    } else {
        job->folder = folder;   // read on the heights thread
    }
    terrain->lod_error = (float *)checked_calloc_large(nodes, sizeof(float));
    terrain->lod_error_next = (float *)checked_calloc_large(nodes, sizeof(float));
    file_close(file);
    if (!terrain->lod_error || !terrain->lod_error_next) {
        print_message("Error reading heights");
        return 0;
    }
    terrain->change_counter = 1;
    terrain->lod_pass.completed_counter = 0;
    start_heights_job();
    show_loading_done("Loading heights");
    return 1;
}

// The heights are in: the digest is logged when it was worked out.
static void finish_heights(void)
{
    wait_for_heights();
    if (heights_job.logged) {
        ripemd160_final(&heights_job.digest);
        log_digest(&heights_job.digest);
    }
}

// Mode 2 composites in the back buffer: the drawable must hold a texture.
static int drawable_holds(int size)
{
    int width, height;
    return get_current_drawable_size(&width, &height) && width >= size && height >= size;
}

static void choose_texture_mode(Terrain *terrain, int requested)
{
    int setting = ground_texture_size_setting;
    int capped = setting < 256 ? setting : 256;
    int framebuffer = 0;
    if (requested == 3 && framebuffer_extension)
        framebuffer = generate_framebuffer();
    if (framebuffer) {
        terrain->texture_mode = 3;
        terrain->framebuffer = framebuffer;
        terrain->texture_size = setting;
        print_message("Terrain texture rendering with framebuffer objects");
    } else if (requested == 2 && drawable_holds(capped)) {
        terrain->texture_mode = 2;
        terrain->texture_size = capped;
        print_message("Terrain texture rendering with CopyTexSubImage");
    } else {
        terrain->texture_mode = 1;
        terrain->texture_size = capped;
        print_message("Terrain texture rendering with TexSubImage");
    }
    if (terrain->texture_size < 1)
        terrain->texture_size = 128;
    // Normal-mapped ground only where the track's lighting asks for it; any
    // other track keeps its baked shading in every mode.
    terrain->normal_mapping = ground_shaders_setting && shader_programs_available && terrain->texture_mode >= 2 &&
                              track_lighting.dynamic_lighting;
}

// The shading file is read beside the heights: opened as the load starts,
// inflated and decoded on a thread of its own (which touches nothing but
// its handle and its pixels), checked and kept when the load reaches it.
struct ShadingRead {
    GameFile *file;
    int halve;   // "shading.ppm" holds doubled values
    uint8_t *pixels;
    int width, height;
    int ok;
    pthread_t thread;
    int started;
};
static ShadingRead shading_read;

static void *decode_shading(void *)
{
    ShadingRead *read = &shading_read;
    file_inflate_whole(read->file);
    read->ok = read_rgb_image_levels(read->file, &read->pixels, &read->width, &read->height, 0);
    if (read->ok && read->halve) {
        size_t bytes = (size_t)read->width * read->height * 3;
        for (size_t i = 0; i < bytes; i++)
            read->pixels[i] >>= 1;
    }
    return nullptr;
}

static void start_shading_read(const char *folder)
{
    memset(&shading_read, 0, sizeof shading_read);
    shading_read.file = open_track_file(folder, "shadingx2.ppm", "rb", 0);
    if (!shading_read.file) {
        shading_read.file = open_track_file(folder, "shading.ppm", "rb", 0);
        shading_read.halve = 1;
    }
    if (!shading_read.file)
        return;
    shading_read.started = pthread_create(&shading_read.thread, nullptr, decode_shading, nullptr) == 0;
    if (!shading_read.started)
        decode_shading(nullptr);
}

// Waits for the shading thread; the pixels stay in shading_read.
static void join_shading_read(void)
{
    if (shading_read.started)
        pthread_join(shading_read.thread, nullptr);
    shading_read.started = 0;
    file_close(shading_read.file);
    shading_read.file = nullptr;
}

static void abandon_shading_read(void)
{
    join_shading_read();
    free_large_block(shading_read.pixels);
    shading_read.pixels = nullptr;
}

static int load_shading(Terrain *terrain, const char *folder)
{
    show_loading_step("Loading shading");
    int opened = shading_read.file != nullptr;
    join_shading_read();
    if (!opened) {
        // The message of the file that could not be opened.
        GameFile *file = open_track_file(folder, "shading.ppm", "rb", 1);
        file_close(file);
        return 0;
    }
    if (!shading_read.ok) {
        abandon_shading_read();
        print_message("Error reading shading");
        return 0;
    }
    int width = shading_read.width, height = shading_read.height;
    if (width != terrain->side || height != terrain->side) {
        char message[128];
        snprintf(message, sizeof message, "Bad shading dimensions (%dx%d)", width, height);
        print_message(message);
        abandon_shading_read();
        return 0;
    }
    terrain->shading = shading_read.pixels;
    shading_read.pixels = nullptr;
    show_loading_done("Loading shading");
    return 1;
}

static int load_shadows(Terrain *terrain, const char *folder)
{
    show_loading_step("Loading shadows");
    size_t samples = (size_t)terrain->side * terrain->side;
    GameFile *file = open_track_file(folder, "shadows.pgm", "rb", 0);
    if (!file) {
        terrain->shadows = (uint8_t *)checked_calloc(samples, 1);
        return terrain->shadows != nullptr;
    }
    uint8_t *pixels = nullptr;
    int width, height;
    int ok = read_pgm(file, &pixels, &width, &height);
    file_close(file);
    if (!ok) {
        print_message("Error reading shadows");
        return 0;
    }
    if (width != terrain->side || height != terrain->side) {
        log_printf("Bad shadow dimensions (%dx%d)\n", width, height);
        checked_free(pixels);
        return 0;
    }
    for (size_t i = 0; i < samples; i++)
        pixels[i] = (uint8_t)(255 - pixels[i]);
    terrain->shadows = pixels;
    show_loading_done("Loading shadows");
    return 1;
}

static int load_tiles(Terrain *terrain, const char *folder)
{
    show_loading_step("Loading tileinfo");
    GameFile *file = open_track_file(folder, "tileinfo", "rb", 0);
    if (file) {
        parse_tileinfo(terrain, file);
    } else {
        file = open_track_file(folder, "texturelist", "rb", 1);
        if (!file)
            return 0;
        parse_texturelist(terrain, file);
    }
    file_close(file);
    if (terrain->tile_count == 0) {
        // Every square of the tile map needs a kind: one default tile.
        log_printf("No ground tiles: using a default tile\n");
        roost_defaults(&terrain->tiles[0]);
        terrain->tiles[0].erosion.limit_count = 1;
        terrain->tiles[0].erosion.limit_value2[0] = 1.0f;
        terrain->tiles[0].erosion.limit_value3[0] = 1.0f;
        terrain->tile_count = 1;
    }
    if (verbose_setting)
        log_printf("%lu bytes texture memory used after ground tiles loaded\n",
                   (unsigned long)texture_memory_used);
    show_loading_done("Loading tileinfo");
    return 1;
}

static int load_tile_map(Terrain *terrain, const char *folder)
{
    show_loading_step("Loading tilemap");
    GameFile *file = open_track_file(folder, "tilemap", "rb", 1);
    if (!file)
        return 0;
    int tiles = terrain_tile_side(terrain);
    size_t bytes = (size_t)tiles * tiles;
    terrain->tile_map = (uint8_t *)checked_malloc(bytes);
    size_t got = 0;
    while (terrain->tile_map && got < bytes) {
        int chunk = bytes - got > 65536 ? 65536 : (int)(bytes - got);
        int n = file_read(file, terrain->tile_map + got, chunk);
        if (n <= 0)
            break;
        got += (size_t)n;
    }
    file_close(file);
    if (got != bytes) {
        log_printf("Short tilemap: %lu of %lu bytes\n", (unsigned long)got, (unsigned long)bytes);
        print_message("Error reading tilemap");
        return 0;
    }
    int last = terrain->tile_count - 1;
    for (size_t i = 0; i < bytes; i++)
        if (terrain->tile_map[i] > last)
            terrain->tile_map[i] = (uint8_t)last;
    show_loading_done("Loading tilemap");
    return 1;
}

static int create_normal_data(Terrain *terrain)
{
    size_t samples = (size_t)terrain->side * terrain->side;
    terrain->shading_dirty = allocate_terrain_bitmap((int)samples, 0);
    terrain->triangle_dirty = allocate_terrain_bitmap(terrain_triangle_count(terrain), 1);
    terrain->face_normals = (float *)checked_malloc((size_t)terrain_triangle_count(terrain) * 3 * sizeof(float));
    if (!terrain->shading_dirty || !terrain->triangle_dirty || !terrain->face_normals)
        return 0;
    if (!terrain->normal_mapping)
        return 1;
    terrain->normal_texels = (uint8_t *)checked_malloc_large(samples * 3);
    terrain->normal_dirty = allocate_terrain_bitmap((int)samples, 0);
    if (!terrain->normal_texels || !terrain->normal_dirty)
        return 0;
    show_loading_step("Creating terrain normals");
    int side = terrain->side;
    for (int row = 0; row < side; row++) {
        show_loading_spinner("Creating terrain normals");
        for (int column = 0; column < side; column++)
            compute_normal_texel(terrain, column, row, terrain->normal_texels + 3 * ((size_t)row * side + column));
    }
    show_loading_done("Creating terrain normals");
    return 1;
}

static int create_low_detail_textures(Terrain *terrain)
{
    int count = terrain_low_detail_count(terrain);
    int cells = 2 << terrain->grid_exponent;
    int size = 1;
    while (size < cells - TERRAIN_LOW_DETAIL_SPAN * count + 512 && size < TERRAIN_SCRATCH_SIDE)
        size <<= 1;
    terrain->low_detail_scale = 1.0f / (float)size;
    if (verbose_setting)
        log_printf("%dx%d low detail textures needed for %dx%d field\n", count, count, terrain->side, terrain->side);
    terrain->low_detail_textures = (int *)checked_calloc((size_t)count * count, sizeof(int));
    terrain->low_detail_dirty = allocate_terrain_bitmap(count * count, 0);
    if (!terrain->low_detail_textures || !terrain->low_detail_dirty)
        return 0;
    show_loading_step("Creating low detail textures");
    for (int j = 0; j < count; j++)
        for (int k = 0; k < count; k++) {
            show_loading_spinner("Creating low detail textures");
            int width = low_detail_image_size(terrain, TERRAIN_LOW_DETAIL_SPAN * k);
            int height = low_detail_image_size(terrain, TERRAIN_LOW_DETAIL_SPAN * j);
            composite_terrain_image(terrain, TERRAIN_LOW_DETAIL_SPAN * k - 64, TERRAIN_LOW_DETAIL_SPAN * j - 64,
                                    width, height, terrain->scratch_image);
            terrain->low_detail_textures[j * count + k] =
                make_texture_single_level(terrain->scratch_image, width, height, 3);
        }
    terrain->low_detail_cursor = 0;
    show_loading_done("Creating low detail textures");
    if (verbose_setting)
        log_printf("%lu bytes texture memory used after low detail ground textures\n",
                   (unsigned long)texture_memory_used);
    return 1;
}

static int create_placeholder_textures(Terrain *terrain)
{
    show_loading_step("Creating LOD textures");
    int layers = terrain->normal_mapping ? 3 : 1;
    int size = terrain->texture_size;
    for (int level = 0; level < TERRAIN_LOD_LEVELS; level++) {
        int scale = (1530 - 255 * level) / 6;
        for (int r = 0; r < TERRAIN_LEVEL_WINDOW; r++)
            for (int c = 0; c < TERRAIN_LEVEL_WINDOW; c++)
                for (int layer = 0; layer < layers; layer++)
                    terrain->level_textures[layer][level][r][c] = make_placeholder_texture(size, 64 >> level, scale);
    }
    int blocks = terrain_block_count(terrain);
    terrain->block_stamps = (int *)checked_malloc((size_t)blocks * blocks * sizeof(int));
    if (!terrain->block_stamps)
        return 0;
    for (int i = 0; i < blocks * blocks; i++)
        terrain->block_stamps[i] = -1;
    for (int layer = 0; layer < layers; layer++) {
        terrain->block_textures[layer] = (int *)checked_calloc((size_t)blocks * blocks, sizeof(int));
        if (!terrain->block_textures[layer])
            return 0;
        for (int i = 0; i < blocks * blocks; i++)
            terrain->block_textures[layer][i] = make_placeholder_texture(size, 16, 0);
    }
    show_loading_done("Creating LOD textures");
    return 1;
}

int load_terrain(Terrain *terrain, const char *folder, int requested_mode)
{
    if (terrain->heights || terrain->decals.data)
        free_terrain(terrain);
    reset_terrain_record(terrain);
    show_loading_step("Loading terrain");
    start_shading_read(folder);
    if (!load_height_field(terrain, folder))
        return fail_load(terrain, nullptr);
    choose_texture_mode(terrain, requested_mode);
    if (!load_shading(terrain, folder) || !load_shadows(terrain, folder))
        return fail_load(terrain, nullptr);
    if (verbose_setting)
        log_printf("%lu bytes texture memory used before ground tiles loaded\n", (unsigned long)texture_memory_used);
    if (!load_tiles(terrain, folder) || !load_tile_map(terrain, folder))
        return fail_load(terrain, nullptr);
    finish_heights();
    terrain->scratch_image = (uint8_t *)checked_malloc((size_t)TERRAIN_SCRATCH_SIDE * TERRAIN_SCRATCH_SIDE * 3);
    if (!terrain->scratch_image || !create_normal_data(terrain))
        return fail_load(terrain, "Out of memory loading terrain");
    if (terrain->texture_mode >= 2 && !create_low_detail_textures(terrain))
        return fail_load(terrain, "Out of memory loading terrain");
    if (!create_placeholder_textures(terrain))
        return fail_load(terrain, "Out of memory loading terrain");
    GameFile *decals = open_track_file(folder, "decals", "rb", 0);
    if (decals) {
        load_decals(terrain, decals);
        file_close(decals);
    }
    finish_lod_pass();
    show_loading_done("Loading terrain");
    return 1;
}

// Opens a file of the current track for writing; on failure shows its message.
static GameFile *open_for_save(const char *name)
{
    char suffix[64];
    snprintf(suffix, sizeof suffix, "/%s", name);
    GameFile *file = open_track_write(suffix);
    if (!file) {
        char message[128];
        snprintf(message, sizeof message, "Can't open '%s'", name);
        print_message(message);
    }
    return file;
}

static int write_shading(Terrain *terrain, const char *name, int doubled)
{
    GameFile *file = open_for_save(name);
    if (!file)
        return 0;
    int side = terrain->side;
    int ok = file_printf(file, "P6\n%d %d\n255\n", side, side) > 0;
    uint8_t buffer[8192];
    size_t total = (size_t)side * side * 3, done = 0;
    while (ok && done < total) {
        size_t n = total - done < sizeof buffer ? total - done : sizeof buffer;
        for (size_t i = 0; i < n; i++) {
            int b = terrain->shading[done + i];
            buffer[i] = (uint8_t)(doubled ? (2 * b > 255 ? 255 : 2 * b) : b);
        }
        ok = file_write(file, buffer, (int)n) == (int)n;
        done += n;
    }
    return close_track_write_reporting(file, name, ok);
}

int save_terrain(Terrain *terrain)
{
    if (!terrain || !terrain->heights)
        return 0;
    int side = terrain->side;
    size_t samples = (size_t)side * side;
    float min = terrain->heights[0], max = terrain->heights[0];
    for (size_t i = 1; i < samples; i++) {
        if (terrain->heights[i] < min)
            min = terrain->heights[i];
        if (terrain->heights[i] > max)
            max = terrain->heights[i];
    }
    terrain->min_height = min;
    terrain->max_height = max;
    GameFile *file = open_for_save("terrain.hf");
    if (!file)
        return 0;
    int ok = file_printf(file, "%d %f %f %f\n", terrain->grid_exponent, terrain->cell, min, max) > 0;
    if (!close_track_write_reporting(file, "terrain.hf", ok))
        return 0;

    uint16_t *values = (uint16_t *)checked_malloc(samples * sizeof(uint16_t));
    if (!values)
        return 0;
    double range = (double)max - (double)min;
    for (size_t i = 0; i < samples; i++) {
        double scaled = range > 0.0 ? ((double)terrain->heights[i] - min) / range * 65535.0 + 0.5 : 0.0;
        values[i] = (uint16_t)(scaled < 0.0 ? 0.0 : scaled > 65535.0 ? 65535.0 : scaled);
    }
    file = open_for_save("terrain.png");
    int written = file && write_png_gray16_to(file, values, side, side);
    checked_free(values);
    if (!file || !close_track_write_reporting(file, "terrain.png", written))
        return 0;

    refresh_dirty_terrain_cells(terrain);
    if (!write_shading(terrain, "shading.ppm", 1) || !write_shading(terrain, "shadingx2.ppm", 0))
        return 0;

    file = open_for_save("tilemap");
    if (!file)
        return 0;
    int tiles = terrain_tile_side(terrain);
    ok = file_write(file, terrain->tile_map, tiles * tiles) == tiles * tiles;
    if (!close_track_write_reporting(file, "tilemap", ok))
        return 0;

    if (terrain->decals.data) {
        file = open_for_save("decals");
        if (!file)
            return 0;
        ok = 1;
        for (int i = 0; ok && i < terrain->decals.count; i++) {
            const Decal *decal = (const Decal *)terrain->decals.data + i;
            const char *name = get_decal_name(decal);
            if (name)
                ok = file_printf(file, "[%f %f] %f %f %f %s\n", decal->x, decal->z, decal->angle, decal->width,
                                 decal->aspect, name) > 0;
        }
        if (!close_track_write_reporting(file, "decals", ok))
            return 0;
    }
    return 1;
}
