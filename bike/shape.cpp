// Collision shape files (".shp"): a sphere count, then per sphere its centre
// and radius, friction, spring and damper; loaded once and cached by name.
#include "bike/shape.h"

#include <cmath>
#include <cstring>

#include "core/alloc.h"
#include "core/file.h"

static GrowableArray shape_cache;   // CollisionShape *

static size_t shape_block_size(int count, const char *name)
{
    return sizeof(CollisionShape) + (size_t)count * sizeof(ShapeSphere) + strlen(name) + 1;
}

static CollisionShape *read_shape(GameFile *file, const char *name)
{
    int count;
    if (file_scanf(file, "%d", &count) != 1 || count < 0 || count > SHAPE_MAX_SPHERES)
        return nullptr;
    CollisionShape *shape = (CollisionShape *)checked_malloc(shape_block_size(count, name));
    if (!shape)
        return nullptr;
    shape->sphere_count = count;
    shape->spheres = (ShapeSphere *)(shape + 1);
    shape->name = (char *)(shape->spheres + count);
    strcpy(shape->name, name);
    shape->source = nullptr;
    shape->bounding_radius = 0.0f;
    for (int i = 0; i < count; i++) {
        ShapeSphere *s = &shape->spheres[i];
        if (file_scanf(file, "%f %f %f", &s->x, &s->y, &s->z) != 3 ||
            file_scanf(file, "%f %f %f %f", &s->radius, &s->friction, &s->spring, &s->damper) != 4) {
            checked_free(shape);
            return nullptr;
        }
        float reach = sqrtf(s->x * s->x + s->y * s->y + s->z * s->z) + s->radius;
        if (!std::isfinite(reach) || !std::isfinite(s->friction) || !std::isfinite(s->spring) ||
            !std::isfinite(s->damper)) {
            checked_free(shape);
            return nullptr;
        }
        if (reach > shape->bounding_radius)
            shape->bounding_radius = reach;
    }
    return shape;
}

CollisionShape *load_shape(const char *name)
{
    if (!name)
        return nullptr;
    if (!shape_cache.data && !init_growable_array(&shape_cache, sizeof(CollisionShape *)))
        return nullptr;
    CollisionShape **cached = (CollisionShape **)shape_cache.data;
    for (int i = 0; i < shape_cache.count; i++)
        if (!strcmp(cached[i]->name, name))
            return cached[i];
    GameFile *file = file_open(name, "rb");
    if (!file)
        return nullptr;
    CollisionShape *shape = read_shape(file, name);
    file_close(file);
    if (!shape)
        return nullptr;
    CollisionShape **slot = (CollisionShape **)append_to_growable_array(&shape_cache);
    if (slot)
        *slot = shape;
    return shape;
}

CollisionShape *clone_shape(const char *name)
{
    CollisionShape *shape = load_shape(name);
    if (!shape)
        return nullptr;
    size_t size = shape_block_size(shape->sphere_count, shape->name);
    CollisionShape *copy = (CollisionShape *)checked_malloc(size);
    if (!copy)
        return nullptr;
    memcpy(copy, shape, size);
    copy->spheres = (ShapeSphere *)(copy + 1);
    copy->name = (char *)(copy->spheres + copy->sphere_count);
    copy->source = shape;
    return copy;
}

const char *get_shape_name(const CollisionShape *shape)
{
    return shape ? shape->name : nullptr;
}

float get_shape_radius(const CollisionShape *shape)
{
    return shape ? shape->bounding_radius : 0.0f;
}

int get_shape_sphere(const CollisionShape *shape, int index, float *centre, float *radius)
{
    if (!shape || index < 0 || index >= shape->sphere_count)
        return 0;
    const ShapeSphere *s = &shape->spheres[index];
    centre[0] = s->x;
    centre[1] = s->y;
    centre[2] = s->z;
    *radius = s->radius;
    return 1;
}

void free_shape_cache(void)
{
    CollisionShape **cached = (CollisionShape **)shape_cache.data;
    for (int i = 0; i < shape_cache.count; i++)
        checked_free(cached[i]);
    free_growable_array(&shape_cache);
}
