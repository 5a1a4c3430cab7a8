// Collision shape files: parsing, refusals, the cache and private copies.
#include "bike/shape.h"

#include "core/alloc.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

class Shapes : public testing::Test {
protected:
    void TearDown() override { free_shape_cache(); }
    static std::string write(const std::string &name, const std::string &text)
    {
        write_file(test_data_dir() + name, text);
        return "@" + name;
    }
};

TEST_F(Shapes, ReadsSpheresAndTheirBoundingRadius)
{
    std::string name = write("rock.shp", "2\n3 4 0  1 0.5 100 10\n-1 0 0\n0.5 0.25 50 5\n");
    CollisionShape *shape = load_shape(name.c_str());
    ASSERT_NE(shape, nullptr);
    EXPECT_EQ(shape->sphere_count, 2);
    EXPECT_FLOAT_EQ(shape->bounding_radius, 6.0f);
    EXPECT_STREQ(get_shape_name(shape), name.c_str());
    EXPECT_FLOAT_EQ(shape->spheres[1].friction, 0.25f);
    EXPECT_FLOAT_EQ(shape->spheres[1].damper, 5.0f);
    float centre[3] = {9, 9, 9}, radius = 9;
    EXPECT_EQ(get_shape_sphere(shape, 0, centre, &radius), 1);
    EXPECT_FLOAT_EQ(centre[1], 4.0f);
    EXPECT_EQ(get_shape_sphere(shape, 2, centre, &radius), 0);   // index == count
    EXPECT_EQ(get_shape_sphere(shape, -1, centre, &radius), 0);
    EXPECT_FLOAT_EQ(radius, 1.0f);

    // Cached by exact name; copies are private blocks pointing at the cache.
    EXPECT_EQ(load_shape(name.c_str()), shape);
    CollisionShape *a = clone_shape(name.c_str()), *b = clone_shape(name.c_str());
    ASSERT_NE(a, nullptr);
    EXPECT_NE(a, b);
    EXPECT_EQ(a->source, shape);
    EXPECT_EQ(b->source, shape);
    EXPECT_NE(a->spheres, shape->spheres);
    EXPECT_STREQ(a->name, shape->name);
    a->spheres[0].radius = 7;
    EXPECT_FLOAT_EQ(shape->spheres[0].radius, 1.0f);
    checked_free(a);
    checked_free(b);
    write("ROCK.shp", "0\n");
    CollisionShape *upper = load_shape("@ROCK.shp");
    ASSERT_NE(upper, nullptr);
    EXPECT_NE(upper, shape);
    EXPECT_EQ(upper->sphere_count, 0);
    EXPECT_EQ(upper->bounding_radius, 0.0f);
}

TEST_F(Shapes, RefusedFilesAreNotCached)
{
    struct Case {
        const char *name, *text;
    } cases[] = {
        {"empty.shp", ""},
        {"negative.shp", "-1\n"},
        {"absurd.shp", "2000000000\n1 2 3 4 5 6 7\n"},
        {"short.shp", "2\n0 0 0 1 1 1 1\n"},
        {"half.shp", "1\n0 0 0 1 1\n"},
        {"infinite.shp", "1\n0 0 0 1e999 1 1 1\n"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        std::string name = write(c.name, c.text);
        EXPECT_EQ(load_shape(name.c_str()), nullptr);
        EXPECT_EQ(clone_shape(name.c_str()), nullptr);
    }
    EXPECT_EQ(load_shape("@missing.shp"), nullptr);
    // A file fixed later loads: nothing was cached.
    std::string name = write("short.shp", "1\n0 0 0 1 1 1 1\n");
    EXPECT_NE(load_shape(name.c_str()), nullptr);
}
