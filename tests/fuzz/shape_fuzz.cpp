// Fuzz target "shape": ".shp" collision shapes loaded through the shape
// cache and copied as a statue's private shape.
#include "fuzz/fuzz_target.h"

#include "bike/shape.h"
#include "core/alloc.h"

static int run(const uint8_t *data, size_t size)
{
    FuzzSplit input = split_selector(data, size);
    place_input("fuzz/input.shp", input.data, input.size, input.selector % INPUT_FORMS);
    CollisionShape *copy = clone_shape("@fuzz/input.shp");
    if (copy) {
        float centre[3], radius;
        for (int i = -1; i <= copy->sphere_count; i++)
            get_shape_sphere(copy, i, centre, &radius);
        get_shape_radius(copy);
        checked_free(copy);
    }
    reset_reader_state();
    return 0;
}

static void make_seeds(std::vector<FuzzSeed> *seeds)
{
    seeds->push_back({"one", std::string(1, '\0') + "1 3 4 0 1 0.5 100 10\n"});
    seeds->push_back({"two", std::string(1, '\0') + "2\n0 0 0 1 1 1 1\n0 1 0 0.5 1 1 1\n"});
    seeds->push_back({"none", std::string(1, '\0') + "0\n"});
    seeds->push_back({"gzip", std::string(1, '\2') + "3 0 0 0 2 1 1 1 1 1 1 0.5 0.5 0.5 0.5 -1 -1 -1 0.25 1 1 1\n"});
}

RUT_FUZZ_TARGET(shape, run, make_seeds);
