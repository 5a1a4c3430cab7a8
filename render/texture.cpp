// The texture cache: texture ids by name, with case-mismatch warnings,
// LINK redirection, generations and texture memory, and the partial free
// after a race reset.
#include "render/texture.h"

#include <cstdio>
#include <cstring>
#include <strings.h>

#include "core/file.h"
#include "core/message.h"
#include "render/animated_texture.h"
#include "render/gl_extensions.h"
#include "render/image.h"
#include "render/load_ahead.h"
#include "render/render_settings.h"

int texture_generation;
long texture_memory_used;

GrowableArray texture_table;
GrowableArray texture_link_table;

static const char *const LINK_FALLBACK = "@colors/white.png";

static int link_depth;   // LINK files being followed now

static TextureRecord **texture_records(void)
{
    return (TextureRecord **)texture_table.data;
}

static int create_texture_tables(void)
{
    if (texture_table.data)
        return 1;
    if (!init_growable_array(&texture_table, sizeof(TextureRecord *)) ||
        !init_growable_array(&texture_link_table, sizeof(TextureLink)) ||
        !init_growable_array(&animated_texture_table, sizeof(AnimatedTexture *))) {
        free_growable_array(&texture_table);
        free_growable_array(&texture_link_table);
        free_growable_array(&animated_texture_table);
        return 0;
    }
    return 1;
}

static TextureRecord *find_texture(int texture)
{
    for (int i = 0; i < texture_table.count; i++)
        if (texture_records()[i]->id == texture)
            return texture_records()[i];
    return nullptr;
}

static const char *texture_name_at(int i)
{
    return texture_records()[i]->name;
}

static TextureRecord *find_texture_by_name(const char *name)
{
    int i = find_cached_name(texture_table.count, texture_name_at, name);
    return i < 0 ? nullptr : texture_records()[i];
}

static void add_texture_record(int id, const char *name, long memory, char *info)
{
    TextureRecord *record = (TextureRecord *)checked_malloc(sizeof(TextureRecord) + strlen(name));
    TextureRecord **slot = record ? (TextureRecord **)append_to_growable_array(&texture_table) : nullptr;
    if (!slot) {
        // Still returned to the caller, but not cached.
        checked_free(record);
        checked_free(info);
        return;
    }
    record->id = id;
    record->generation = texture_generation;
    record->memory = memory;
    record->info = info;
    strcpy(record->name, name);
    *slot = record;
}

static int wrap_flags(const char *name)
{
    int flags = 0;
    if (strstr(name, "-hrepeat."))
        flags |= TEXTURE_REPEAT_S;
    if (strstr(name, "-vrepeat."))
        flags |= TEXTURE_REPEAT_T;
    if (strstr(name, "-repeat."))
        flags |= TEXTURE_REPEAT_S | TEXTURE_REPEAT_T;
    return flags;
}

// The rest of a LINK file names the texture to load instead.
static int follow_link(GameFile *file, const char *name)
{
    TextureLink *link = (TextureLink *)append_to_growable_array(&texture_link_table);
    int index = link ? texture_link_table.count - 1 : -1;
    if (link) {
        link->name = intern_string(name);
        link->target = intern_string(LINK_FALLBACK);
    }
    char text[1024];
    int length = file_read(file, text, sizeof text - 1);
    file_close(file);
    if (length < 0)
        length = 0;
    text[length] = 0;
    while (length > 0 && (text[length - 1] == ' ' || (text[length - 1] >= '\t' && text[length - 1] <= '\r')))
        text[--length] = 0;
    const char *target = text;
    while (*target == ' ' || (*target >= '\t' && *target <= '\r'))
        target++;
    if (link_depth >= TEXTURE_LINK_DEPTH_LIMIT)
        return 0;
    link_depth++;
    int id = load_texture(target);
    link_depth--;
    TextureRecord *record = id ? find_texture(id) : nullptr;
    if (record && index >= 0)
        ((TextureLink *)texture_link_table.data)[index].target = intern_string(record->name);
    return id;
}

// The name a texture is cached under: without its '!' and after the links
// seen so far.
static const char *cached_texture_name(const char *name)
{
    if (name[0] == '!')
        name++;
    const TextureLink *links = (const TextureLink *)texture_link_table.data;
    for (int i = 0; i < texture_link_table.count; i++)
        if (!strcmp(links[i].name, name))
            return links[i].target;
    return name;
}

const char *texture_name_to_load(const char *name)
{
    if (!name || !create_texture_tables())
        return nullptr;
    name = cached_texture_name(name);
    // Without a word: a hit in another case is load_texture's to report.
    for (int i = 0; i < texture_table.count; i++)
        if (!strcasecmp(texture_name_at(i), name))
            return nullptr;
    return name;
}

int load_texture(const char *name)
{
    if (!name || !create_texture_tables())
        return 0;
    long memory_before = texture_memory_used;
    int drop = name[0] == '!' ? 0 : texture_detail;
    name = cached_texture_name(name);
    TextureRecord *hit = find_texture_by_name(name);
    if (hit) {
        if (hit->generation != 0 && hit->generation != texture_generation) {
            hit->generation = texture_generation;
            texture_memory_used += hit->memory;
        }
        return hit->id;
    }

    GameFile *file = file_open(name, "rb");
    if (!file) {
        if (debug_level) {
            char message[1000];
            snprintf(message, sizeof message, "Can't open texture \"%.900s\"", name);
            print_message(message);
        }
        return 0;
    }
    char word[16];
    if (file_scanf(file, "%15s", word) != 1) {
        file_close(file);
        return 0;
    }
    int flags = wrap_flags(name);
    int id = 0, width = 0, height = 0, animation = 0;
    uint8_t *pixels = nullptr;
    if (!strcmp(word, "J7") || !strcmp(word, "J6")) {
        int channels = word[1] == '7' ? 4 : 3;
        if (read_raw_image(word, file, &pixels, &width, &height, channels))
            id = upload_texture_reduced(pixels, width, height, channels, drop, flags, name);
    } else if (!strcmp(word, "P3") || !strcmp(word, "P6")) {
        if (read_ppm(word, file, &pixels, &width, &height))
            id = upload_texture_reduced(pixels, width, height, 3, drop, flags, name);
    } else if (!strcmp(word, "ANIM1")) {
        id = load_texture_sequence(file, flags);
        animation = 1;
    } else if (!strcmp(word, "LINK")) {
        return follow_link(file, name);
    }
    checked_free(pixels);
    pixels = nullptr;
    file_close(file);

    char *info = nullptr;
    if (id == 0) {
        int channels, decoded;
        if (!take_texture_ahead(name, &decoded, &pixels, &width, &height, &channels, &info))
            decoded = load_png_texture_image(name, &pixels, &width, &height, &channels, &info);
        if (!decoded)
            return 0;
        if (info && strstr(info, "[compress]"))
            flags |= TEXTURE_COMPRESS;
        if (texture_compression == 0)
            flags &= ~TEXTURE_COMPRESS;
        else if (texture_compression == 2)
            flags |= TEXTURE_COMPRESS;
        id = upload_texture_reduced(pixels, width, height, channels, drop, flags, name);
        checked_free(pixels);
        if (id == 0) {
            checked_free(info);
            return 0;
        }
    }
    if (!animation && ((width & (width - 1)) || (height & (height - 1)))) {
        char message[1100];
        snprintf(message, sizeof message, "Warning: Non power of 2 texture '%.950s'", name);
        print_message(message);
    }
    add_texture_record(id, name, texture_memory_used - memory_before, info);
    return id;
}

const char *get_texture_name(int texture)
{
    const TextureRecord *record = texture ? find_texture(texture) : nullptr;
    return record ? record->name : nullptr;
}

const char *get_texture_info(int texture)
{
    const TextureRecord *record = texture ? find_texture(texture) : nullptr;
    return record ? record->info : nullptr;
}

int texture_is_cached(int texture)
{
    return texture && find_texture(texture) != nullptr;
}

void free_textures(int all)
{
    while (texture_table.count > 0) {
        TextureRecord *record = texture_records()[texture_table.count - 1];
        if (!all && (record->generation == 0 || record->generation == texture_generation))
            break;
        if (debug_level) {
            char message[1000];
            snprintf(message, sizeof message, "deleting tid %d (%.900s)", record->id, record->name);
            print_message(message);
        }
        delete_texture(record->id);
        checked_free(record->info);
        checked_free(record);
        texture_table.count--;
    }
    free_images(all);
    free_stale_animations();
    if (all) {
        free_growable_array(&texture_table);
        free_growable_array(&texture_link_table);
        free_growable_array(&animated_texture_table);
    }
}
