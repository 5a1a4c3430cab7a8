// The "decals" file: textured rectangles laid on the ground, loaded into the
// terrain's decal array and entered into the decal grid.
#include "track/decals.h"

#include <cmath>
#include <cstring>

#include "app/loading.h"
#include "core/alloc.h"
#include "core/file.h"
#include "editor/editor.h"
#include "render/decal_grid.h"
#include "render/image.h"
#include "render/texture.h"
#include "track/terrain.h"

void decal_half_extents(const Decal *decal, float *hx, float *hz)
{
    float length = decal->width * decal->aspect;
    *hx = fabsf(length * decal->cosine) / 2.0f + fabsf(decal->width * decal->sine) / 2.0f;
    *hz = fabsf(decal->width * decal->cosine) / 2.0f + fabsf(length * decal->sine) / 2.0f;
}

int create_decal_storage(Terrain *terrain)
{
    free_decal_storage(terrain);
    int ok = init_growable_array(&terrain->decals, sizeof(Decal));
    for (int i = 0; i < DECAL_GRID_SIDE * DECAL_GRID_SIDE; i++)
        ok &= init_growable_array(&terrain->decal_grid.buckets[i], sizeof(int));
    ok &= init_growable_array(&terrain->decal_grid.scratch[0], sizeof(int));
    ok &= init_growable_array(&terrain->decal_grid.scratch[1], sizeof(int));
    return ok;
}

void free_decal_storage(Terrain *terrain)
{
    for (int i = 0; i < terrain->decals.count; i++)
        checked_free(((Decal *)terrain->decals.data)[i].name);
    free_growable_array(&terrain->decals);
    for (int i = 0; i < DECAL_GRID_SIDE * DECAL_GRID_SIDE; i++)
        free_growable_array(&terrain->decal_grid.buckets[i]);
    free_growable_array(&terrain->decal_grid.scratch[0]);
    free_growable_array(&terrain->decal_grid.scratch[1]);
}

const char *get_decal_name(const Decal *decal)
{
    return decal->name;
}

// The companion texture of name with its extension replaced by each tail in turn.
static int load_companion(const char *name, const char *png_tail, const char *ppm_tail)
{
    const char *dot = strrchr(name, '.');
    if (!dot)
        return 0;
    int texture = 0;
    const char *tails[2] = {png_tail, ppm_tail};
    for (int i = 0; i < 2 && !texture; i++) {
        char *companion = replace_suffix(name, dot, tails[i]);
        if (companion) {
            texture = load_texture(companion);
            checked_free(companion);
        }
    }
    return texture;
}

int load_decals(Terrain *terrain, GameFile *file)
{
    create_decal_storage(terrain);
    static char name[1024];
    for (;;) {
        Decal decal;
        memset(&decal, 0, sizeof decal);
        if (file_scanf(file, "[ %f %f ] %f %f %f %1023s ", &decal.x, &decal.z, &decal.angle,
                       &decal.width, &decal.aspect, name) != 6)
            break;
        show_loading_spinner("Loading decals");
        if (!std::isfinite(decal.x) || !std::isfinite(decal.z) || !std::isfinite(decal.angle) ||
            !std::isfinite(decal.width) || !std::isfinite(decal.aspect))
            continue;
        if (terrain->texture_mode == 1)
            load_image(name, &decal.image, &decal.image_width, &decal.image_height);
        else
            decal.texture = load_texture(name);
        if (terrain->normal_mapping) {
            decal.normal_texture = load_companion(name, "_tnorm.png", "_tnorm.ppm");
            decal.specular_texture = load_companion(name, "_tspec.png", "_tspec.ppm");
        }
        decal.sine = sinf(decal.angle);
        decal.cosine = cosf(decal.angle);
        // The editor keeps a decal whose texture failed (undrawn), so that a
        // save writes it back.
        if (!decal.image && !decal.texture && !editor_on)
            continue;
        decal.name = checked_strdup(name);
        Decal *slot = decal.name ? (Decal *)append_to_growable_array(&terrain->decals) : nullptr;
        if (slot)
            *slot = decal;
        else
            checked_free(decal.name);
    }
    show_loading_done("Loading decals");
    for (int i = 0; i < DECAL_GRID_SIDE * DECAL_GRID_SIDE; i++)
        terrain->decal_grid.buckets[i].count = 0;
    for (int i = 0; i < terrain->decals.count; i++)
        add_decal_to_grid(terrain, i);
    return 1;
}
