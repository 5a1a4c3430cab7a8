// Loading ahead: textures decoded and models parsed on the work pool before
// the GL thread asks for them.
#include "render/load_ahead.h"

#include <cstdio>
#include <cstring>

#include "core/alloc.h"
#include "core/file.h"
#include "core/message.h"
#include "platform/work_pool.h"
#include "render/image.h"
#include "render/model.h"
#include "render/texture.h"

int load_ahead_enabled = 1;
int load_ahead_taken;

namespace {

// More names than a race of full slots asks for; further ones are ignored.
const int LOAD_AHEAD_LIMIT = 512;

struct LoadAhead {
    char *name;
    int is_model;
    int ready;      // loaded and not yet taken
    // A texture.
    int decoded;
    uint8_t *pixels;
    int width, height, channels;
    char *info;
    char warning[1100];
    // A model.
    Model *model;
    ModelMessages messages;
};

GrowableArray asked;   // LoadAhead

LoadAhead *entries(void)
{
    return (LoadAhead *)asked.data;
}

LoadAhead *find_entry(const char *name, int is_model)
{
    for (int i = 0; i < asked.count; i++)
        if (entries()[i].is_model == is_model && !strcmp(entries()[i].name, name))
            return &entries()[i];
    return nullptr;
}

void ask(const char *name, int is_model)
{
    if (!load_ahead_enabled || !name || !name[0] || find_entry(name, is_model) ||
        asked.count >= LOAD_AHEAD_LIMIT)
        return;
    if (!asked.data && !init_growable_array(&asked, sizeof(LoadAhead)))
        return;
    size_t length = strlen(name) + 1;
    char *copy = (char *)checked_malloc(length);
    if (!copy)
        return;
    LoadAhead *entry = (LoadAhead *)append_to_growable_array(&asked);
    if (!entry) {
        checked_free(copy);
        return;
    }
    memcpy(copy, name, length);
    entry->name = copy;
    entry->is_model = is_model;
}

void load_one(void *, int index)
{
    LoadAhead *entry = &entries()[index];
    if (entry->ready)
        return;
    if (entry->is_model) {
        entry->model = parse_model_off_gl(entry->name, &entry->messages);
    } else {
        entry->decoded = decode_png_texture_image(entry->name, &entry->pixels, &entry->width, &entry->height,
                                                  &entry->channels, &entry->info, entry->warning,
                                                  sizeof entry->warning);
    }
    entry->ready = 1;
}

void free_entry(LoadAhead *entry)
{
    checked_free(entry->pixels);
    checked_free(entry->info);
    if (entry->model)
        free_model(entry->model);
    checked_free(entry->messages.text);
    checked_free(entry->name);
    memset(entry, 0, sizeof *entry);
}

}  // namespace

void ask_texture_ahead(const char *name)
{
    ask(texture_name_to_load(name), 0);
}

void ask_model_ahead(const char *name)
{
    if (name && !model_is_cached(name))
        ask(name, 1);
}

void run_load_ahead(void)
{
    if (asked.count == 0)
        return;
    build_file_index();   // built here once, before the helpers look names up
    run_work_batch(asked.count, load_one, nullptr);
}

void drop_loaded_ahead(void)
{
    for (int i = 0; i < asked.count; i++)
        free_entry(&entries()[i]);
    free_growable_array(&asked);
}

int count_loaded_ahead(void)
{
    int count = 0;
    for (int i = 0; i < asked.count; i++)
        count += entries()[i].ready;
    return count;
}

int take_texture_ahead(const char *name, int *decoded, uint8_t **pixels, int *width, int *height,
                       int *channels, char **info)
{
    LoadAhead *entry = find_entry(name, 0);
    if (!entry || !entry->ready)
        return 0;
    if (entry->warning[0])
        print_message(entry->warning);
    *decoded = entry->decoded;
    if (entry->decoded) {
        *pixels = entry->pixels;
        *width = entry->width;
        *height = entry->height;
        *channels = entry->channels;
        *info = entry->info;
    }
    entry->pixels = nullptr;
    entry->info = nullptr;
    entry->ready = 0;
    load_ahead_taken++;
    return 1;
}

int take_model_ahead(const char *name, Model **model)
{
    LoadAhead *entry = find_entry(name, 1);
    if (!entry || !entry->ready)
        return 0;
    finish_model_off_gl(entry->model, &entry->messages);
    *model = entry->model;
    entry->model = nullptr;
    entry->ready = 0;
    load_ahead_taken++;
    return 1;
}
