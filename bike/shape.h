// Collision shapes: unions of spheres read from ".shp" files, cached by file
// name; every owner takes a private copy with clone_shape.
#pragma once

enum { SHAPE_MAX_SPHERES = 4096 };

struct ShapeSphere {
    float x, y, z;
    float radius;
    float friction;
    float spring;
    float damper;
};

// One allocation: this header, the spheres, then the name.
struct CollisionShape {
    char *name;
    int sphere_count;
    ShapeSphere *spheres;
    const CollisionShape *source;   // null in a cached shape; the cached shape in a copy
    float bounding_radius;
};

CollisionShape *load_shape(const char *name);
CollisionShape *clone_shape(const char *name);   // caller frees with checked_free
const char *get_shape_name(const CollisionShape *shape);
float get_shape_radius(const CollisionShape *shape);
int get_shape_sphere(const CollisionShape *shape, int index, float *centre, float *radius);
void free_shape_cache(void);
