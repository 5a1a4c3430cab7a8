// Texture ids by name until the renderer exists: no GL texture is made, so
// every load gives 0, unless a stand-in loader is installed; the names of
// the ids it hands out are kept so that objects can be written back.
#include "render/texture.h"

#include <cstring>

#include "core/alloc.h"
#include "render/image.h"

int texture_generation;
long texture_memory_used;

struct TextureName {
    int id;
    char *name;
};

static TextureLoader texture_loader;
static GrowableArray texture_names;   // TextureName

void set_texture_loader(TextureLoader loader)
{
    texture_loader = loader;
}

static const TextureName *find_texture_name(int texture)
{
    const TextureName *names = (const TextureName *)texture_names.data;
    for (int i = 0; i < texture_names.count; i++)
        if (names[i].id == texture)
            return &names[i];
    return nullptr;
}

int load_texture(const char *name)
{
    if (!name || !texture_loader)
        return 0;
    if (name[0] == '!')
        name++;
    int id = texture_loader(name);
    if (id == 0 || find_texture_name(id))
        return id;
    if (!texture_names.data && !init_growable_array(&texture_names, sizeof(TextureName)))
        return id;
    char *copy = (char *)checked_malloc(strlen(name) + 1);
    if (!copy)
        return id;
    strcpy(copy, name);
    TextureName *slot = (TextureName *)append_to_growable_array(&texture_names);
    if (!slot) {
        checked_free(copy);
        return id;
    }
    slot->id = id;
    slot->name = copy;
    return id;
}

const char *get_texture_name(int texture)
{
    const TextureName *entry = find_texture_name(texture);
    return entry ? entry->name : nullptr;
}

const char *get_texture_info(int texture)
{
    (void)texture;
    return nullptr;
}

void free_textures(int all)
{
    free_images(all);
    if (!all)
        return;
    TextureName *names = (TextureName *)texture_names.data;
    for (int i = 0; i < texture_names.count; i++)
        checked_free(names[i].name);
    free_growable_array(&texture_names);
}

int make_text_texture(const char *text, int width, int height, const uint8_t *foreground,
                      const uint8_t *background)
{
    (void)text;
    (void)width;
    (void)height;
    (void)foreground;
    (void)background;
    return 0;
}

void delete_texture(int texture)
{
    (void)texture;
}

int make_texture(const uint8_t *pixels, int width, int height, int channels)
{
    (void)pixels, (void)width, (void)height, (void)channels;
    return 0;
}

int make_texture_single_level(const uint8_t *pixels, int width, int height, int channels)
{
    (void)pixels, (void)width, (void)height, (void)channels;
    return 0;
}

int make_placeholder_texture(int size, int square, int scale)
{
    (void)size, (void)square, (void)scale;
    return 0;
}

void update_texture_rgb(int texture, const uint8_t *pixels, int width, int height)
{
    (void)texture, (void)pixels, (void)width, (void)height;
}
