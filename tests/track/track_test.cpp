// A whole track: load, digest, objects and free; and the track catalogue.
#include "track/track.h"

#include "app/loading.h"
#include "app/shell.h"
#include "bike/particles.h"
#include "bike/shape.h"
#include "core/digest.h"
#include "core/file.h"
#include "platform/log.h"
#include "race/lap_pool.h"
#include "track/lighting.h"
#include "track/objects.h"
#include "track/timing.h"
#include "track/track_fixtures.h"

#include <gtest/gtest.h>

#include <cstdlib>

class Track : public testing::Test {
protected:
    TrackFixture fixture;
    void SetUp() override
    {
        fixture.folder = "tracks/whole";
        fixture.write();
        std::string dir = track_dir(fixture.folder);
        write_file(dir + "timing_gates", std::string("checkpoints:\n10 [ 1 2 3 ] [ 0 0 1 ]\n") +
                                             "firstlap: 0 0 0 normallap: 0 0 0\n");
        write_file(dir + "statues", "[ 100 0 100 ] 0 null null @whole/a.shp\n"
                                    "[ 200 0 200 ] 0 null null @whole/a.shp\n"
                                    "[ 300 0 300 ] 0 null null @whole/b.shp\n");
        write_file(test_data_dir() + "whole/a.shp", "1 0 0 0 2 1 1 1\n");
        write_file(test_data_dir() + "whole/b.shp", "1 0 0 0 3 1 1 1\n");
        write_file(dir + "billboards", "[ 5 0 5 ] 1 1 @tree.png\n");
        write_file(dir + "lighting", "near_plane 0.5\n");
        write_file(dir + "cameras", "addcamera 1 2 3\n");
        write_file(dir + "desc", "Whole Track\n");
        // Digested but not read: the heights come from terrain.hf's own body
        // and the tiles from tileinfo.
        write_file(dir + "terrain.png", "not read");
        write_file(dir + "texturelist", "not read either");
    }
    void TearDown() override
    {
        free_track();
        free_shape_cache();
        free_track_catalogue();
        set_track_folder(nullptr);
    }
    std::vector<uint8_t> load_digest()
    {
        free_track();
        set_track_folder(fixture.folder.c_str());
        EXPECT_EQ(load_track(), 1);
        return std::vector<uint8_t>(current_track.digest, current_track.digest + 20);
    }
};

TEST_F(Track, LoadsEveryPartAndFreesIt)
{
    set_track_folder(fixture.folder.c_str());
    ASSERT_EQ(load_track(), 1);
    EXPECT_EQ(current_terrain, &track_terrain);
    EXPECT_STREQ(current_track.long_name, "tracks/whole");   // not in the catalogue
    EXPECT_FLOAT_EQ(track_lighting.near_plane, 0.5f);
    EXPECT_EQ(timing_gate_count, 1);
    EXPECT_NE(lap_pool, nullptr);
    EXPECT_EQ(statue_table.count, 3);
    EXPECT_EQ(statue_file_start, 0);
    EXPECT_EQ(billboard_file_start, PARTICLE_COUNT);
    EXPECT_EQ(billboard_table.count, PARTICLE_COUNT + 1);
    EXPECT_EQ(particle_nodes[0].billboard, 0);
    EXPECT_EQ(particle_nodes[PARTICLE_COUNT - 1].billboard, PARTICLE_COUNT - 1);
    EXPECT_EQ(track_cameras.count, 1);
    int listed = 0;
    for (const GrowableArray &cell : object_grid)
        listed += cell.count;
    EXPECT_EQ(listed, 3);
    EXPECT_EQ(current_track.map_texture, 0);

    free_track();
    EXPECT_EQ(current_terrain, nullptr);
    EXPECT_EQ(track_terrain.heights, nullptr);
    EXPECT_EQ(statue_table.data, nullptr);
    EXPECT_EQ(lap_pool, nullptr);
    EXPECT_EQ(object_grid[0].data, nullptr);
}

TEST_F(Track, DigestCoversTerrainGatesStatuesAndShapes)
{
    std::vector<uint8_t> base = load_digest();
    std::string dir = track_dir(fixture.folder);
    // Files outside the digest: the same digest after a change.
    for (const char *name : {"billboards", "lighting", "cameras", "flaggers", "decals", "desc", "shadingx2.ppm"}) {
        SCOPED_TRACE(name);
        std::string saved;
        read_file(dir + name, &saved);
        write_file(dir + name, saved + "\n\n");
        EXPECT_EQ(load_digest(), base);
        if (saved.empty())
            remove((dir + name).c_str());
        else
            write_file(dir + name, saved);
    }
    // Files in it: one changed byte changes the digest.
    std::string paths[] = {dir + "terrain.hf",   dir + "terrain.png", dir + "texturelist",
                           dir + "tilemap",      dir + "tileinfo",    dir + "timing_gates",
                           dir + "statues",      test_data_dir() + "whole/b.shp"};
    for (const std::string &path : paths) {
        SCOPED_TRACE(path);
        std::string saved, changed;
        read_file(path, &saved);
        changed = saved;
        changed[changed.size() - 1] = changed.back() == '\n' ? ' ' : (char)(changed.back() ^ 1);
        write_file(path, changed);
        EXPECT_NE(load_digest(), base);
        write_file(path, saved);
        EXPECT_EQ(load_digest(), base);
    }
}

TEST_F(Track, SharedShapeFileIsDigestedOnce)
{
    std::vector<uint8_t> two_users = load_digest();
    // Three statues but a.shp twice: the digest equals one made by hand.
    Ripemd160Context expected;
    ripemd160_init(&expected);
    std::string dir = track_dir(fixture.folder);
    for (std::string path : {dir + "terrain.hf", dir + "terrain.png", dir + "texturelist", dir + "tilemap",
                             dir + "tileinfo", dir + "timing_gates", dir + "statues",
                             test_data_dir() + "whole/a.shp", test_data_dir() + "whole/b.shp"}) {
        std::string bytes;
        read_file(path, &bytes);
        ripemd160_update(&expected, bytes.data(), (int)bytes.size());
    }
    ripemd160_final(&expected);
    EXPECT_EQ(two_users, std::vector<uint8_t>(expected.digest, expected.digest + 20));
    // A gzip-compressed statues file is digested decompressed.
    std::string statues;
    read_file(dir + "statues", &statues);
    remove((dir + "statues").c_str());
    write_file(dir + "statues.gz", gzip_bytes(statues));
    EXPECT_EQ(load_digest(), two_users);
}

TEST_F(Track, LoadAndFreeLogTheirStepsInOrder)
{
    setenv("VOKE_LOGFILE", (test_dir() + "/track.log").c_str(), 1);
    verbose_setting = 1;
    set_track_folder(fixture.folder.c_str());
    ASSERT_EQ(load_track(), 1);
    EXPECT_STREQ(loading_status_text, "Loading map...done");
    free_track();
    verbose_setting = 0;
    close_log();
    std::string text;
    ASSERT_TRUE(read_file(test_dir() + "/track.log", &text));
    // The lines without their stamps, texture-memory figures as N.
    std::vector<std::string> lines;
    for (size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string line = text.substr(start, end - start);
        line = line.substr(line.find("] ") + 2);
        size_t digits = line.find_first_not_of("0123456789");
        if (digits > 0 && line.compare(digits, 7, " bytes ") == 0)
            line = "N" + line.substr(digits);
        lines.push_back(line);
    }
    const char *const expected[] = {
        "Scanning",
        "Loading '@tracks/whole'",
        "Loading lighting",
        "N bytes texture memory used after hf creation",
        "Found 1 timing gates, first lap has 3 gates, normal lap has 3",
        "Loading flaggers",
        "N bytes texture memory used after flagger creation",
        "Loading billboards",
        "N bytes texture memory used after billboard creation",
        "Loading statues",
        "Loading map",
        "N bytes texture memory used after statue creation",
        "1 cameras found",
        "Deallocating track",
        "Finished deallocating track",
    };
    // In this order, with the terrain loader's own lines between them.
    size_t at = 0;
    for (const char *line : expected) {
        SCOPED_TRACE(line);
        while (at < lines.size() && lines[at] != line)
            at++;
        ASSERT_LT(at, lines.size());
        at++;
    }
}

TEST_F(Track, LoadingAgainWithoutFreeingKeepsNothingBehind)
{
    // The statues' shape copies of the first load are given back by the
    // second (the leak check at exit would see them otherwise).
    set_track_folder(fixture.folder.c_str());
    ASSERT_EQ(load_track(), 1);
    ASSERT_EQ(load_track(), 1);
    EXPECT_EQ(statue_table.count, 3);
    EXPECT_EQ(billboard_table.count, PARTICLE_COUNT + 1);
}

TEST_F(Track, MissingTerrainFailsAndClearsTheNames)
{
    remove((track_dir(fixture.folder) + "terrain.hf").c_str());
    set_track_folder(fixture.folder.c_str());
    EXPECT_EQ(load_track(), 0);
    EXPECT_EQ(current_track.folder, nullptr);
    EXPECT_EQ(current_track.long_name, nullptr);
    EXPECT_EQ(current_terrain, nullptr);
}

TEST_F(Track, CatalogueListsAndSorts)
{
    write_file(test_data_dir() + "tracks/b/terrain.hf", "x");
    write_file(test_data_dir() + "tracks/b/desc", "beta\r\nsecond line");
    write_file(test_data_dir() + "tracks/a/terrain.hf.gz", gzip_bytes("x"));
    write_file(test_data_dir() + "tracks/a/desc", "Alpha");
    write_file(test_data_dir() + "tracks/c/terrain.hf", "x");
    write_file(test_data_dir() + "tracks/c/desc", "alpha2\n");
    write_file(test_data_dir() + "tracks/d/terrain.hf", "x");   // no desc: the folder
    write_file(test_data_dir() + "tracks/e/terrain.hf", "x");
    write_file(test_data_dir() + "tracks/e/desc", "\nlater");   // an empty first line
    write_file(test_data_dir() + "tracks/e/terrain.hf.gz", gzip_bytes("x"));
    write_file(test_data_dir() + "tracks/notatrack/terrain.hfx", "x");
    ASSERT_EQ(scan_track_catalogue(), 1);
    std::vector<std::string> longs, folders;
    for (int i = 0; i < track_catalogue.count; i++) {
        longs.push_back(track_catalogue.long_names[i]);
        folders.push_back(track_catalogue.folders[i]);
    }
    std::vector<std::string> expected_longs = {"", "", "Alpha", "alpha2", "beta", "tracks/d", "Whole Track"};
    EXPECT_EQ(longs, expected_longs);
    EXPECT_EQ(folders[2], "tracks/a");
    EXPECT_EQ(folders[0], "tracks/e");   // listed twice, once per form
    EXPECT_EQ(folders[1], "tracks/e");
    EXPECT_EQ(folders[6], "tracks/whole");

    set_track_folder("tracks/whole");
    ASSERT_EQ(load_track(), 1);
    EXPECT_STREQ(current_track.long_name, "Whole Track");
}

TEST_F(Track, EmptyCatalogue)
{
    remove((track_dir(fixture.folder) + "terrain.hf").c_str());
    EXPECT_EQ(scan_track_catalogue(), 0);
    EXPECT_EQ(track_catalogue.count, 0);
}
