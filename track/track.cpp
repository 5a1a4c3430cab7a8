// Loading the current track folder into a playable track, with the digest
// that identifies its content, and freeing it again.
#include "track/track.h"

#include <cstdio>
#include <cstring>
#include <pthread.h>

#include "app/loading.h"
#include "app/shell.h"
#include "app/track_settings.h"
#include "bike/particles.h"
#include "bike/shape.h"
#include "core/digest.h"
#include "core/file.h"
#include "editor/editor.h"
#include "platform/log.h"
#include "race/lap_pool.h"
#include "render/texture.h"
#include "track/lighting.h"
#include "track/objects.h"
#include "track/timing.h"

CurrentTrack current_track;
Terrain track_terrain;

static char *copy_string(const char *text)
{
    char *copy = (char *)xmalloc(strlen(text) + 1);
    strcpy(copy, text);
    return copy;
}

void set_track_folder(const char *folder)
{
    checked_free(current_track.folder);
    current_track.folder = folder ? copy_string(folder) : nullptr;
}

char *track_file_path(const char *suffix)
{
    const char *folder = current_track.folder ? current_track.folder : "";
    char *path = (char *)xmalloc(strlen(folder) + strlen(suffix) + 2);
    sprintf(path, "@%s%s", folder, suffix);
    return path;
}

static void clear_track_names(void)
{
    checked_free(current_track.folder);
    checked_free(current_track.long_name);
    current_track.folder = nullptr;
    current_track.long_name = nullptr;
}

// Feeds the rest of an open file to the digest in reads of up to 1024 bytes.
static void digest_open_file(Ripemd160Context *digest, GameFile *file)
{
    uint8_t buffer[1024];
    int n;
    while ((n = file_read(file, buffer, sizeof buffer)) > 0)
        ripemd160_update(digest, buffer, n);
}

// Feeds a whole file to the digest; a file that does not open is passed over.
static void digest_file(Ripemd160Context *digest, const char *path)
{
    GameFile *file = file_open(path, "rb");
    if (!file)
        return;
    digest_open_file(digest, file);
    file_close(file);
}

static void digest_track_file(Ripemd160Context *digest, const char *suffix)
{
    char *path = track_file_path(suffix);
    digest_file(digest, path);
    checked_free(path);
}

static void show_scanning(void)
{
    show_loading_spinner("Scanning");
}

// The terrain files go into the digest on a thread beside the terrain load:
// they are opened here and read there in order; nothing else touches the
// digest until the thread is joined.
enum { TERRAIN_DIGEST_FILES = 5 };
struct TerrainDigest {
    Ripemd160Context *digest;
    GameFile *files[TERRAIN_DIGEST_FILES];   // null for a file that did not open
    pthread_t thread;
    int started;
};
static TerrainDigest terrain_digest;

static void *digest_terrain_files(void *)
{
    for (GameFile *file : terrain_digest.files)
        if (file)
            digest_open_file(terrain_digest.digest, file);
    return nullptr;
}

static void start_terrain_digest(Ripemd160Context *digest)
{
    static const char *const names[TERRAIN_DIGEST_FILES] = {"/terrain.hf", "/terrain.png", "/texturelist",
                                                            "/tilemap", "/tileinfo"};
    terrain_digest.digest = digest;
    for (int i = 0; i < TERRAIN_DIGEST_FILES; i++) {
        show_scanning();
        char *path = track_file_path(names[i]);
        terrain_digest.files[i] = file_open(path, "rb");
        checked_free(path);
    }
    terrain_digest.started = pthread_create(&terrain_digest.thread, nullptr, digest_terrain_files, nullptr) == 0;
    if (!terrain_digest.started)
        digest_terrain_files(nullptr);
}

static void finish_terrain_digest(void)
{
    if (terrain_digest.started)
        pthread_join(terrain_digest.thread, nullptr);
    terrain_digest.started = 0;
    for (GameFile *&file : terrain_digest.files) {
        file_close(file);
        file = nullptr;
    }
}

static void show_billboards_progress(void)
{
    show_loading_spinner("Loading billboards");
}

static void show_statues_progress(void)
{
    show_loading_spinner("Loading statues");
}

static void log_texture_memory(const char *when)
{
    if (verbose_setting)
        log_printf("%lu bytes texture memory used after %s\n", (unsigned long)texture_memory_used, when);
}

// Each distinct shape file of the statues, in table order, fed whole once.
static void digest_statue_shapes(Ripemd160Context *digest)
{
    for (int i = 0; i < statue_table.count; i++) {
        const char *name = get_shape_name(get_statue(i)->shape);
        if (!name)
            continue;
        int seen = 0;
        for (int j = 0; j < i && !seen; j++) {
            const char *earlier = get_shape_name(get_statue(j)->shape);
            seen = earlier && !strcmp(earlier, name);
        }
        if (!seen)
            digest_file(digest, name);
    }
}

static void make_tables(void)
{
    // Normally free_track has emptied these; a second load must not leak.
    for (int i = 0; i < statue_table.count; i++)
        free_statue(get_statue(i));
    free_growable_array(&billboard_draw_slots);
    free_billboard_names();
    free_growable_array(&billboard_table);
    free_growable_array(&statue_table);
    free_growable_array(&flagger_list);
    init_growable_array(&billboard_draw_slots, sizeof(int32_t));
    init_growable_array(&billboard_table, sizeof(Billboard));
    init_growable_array(&statue_table, sizeof(Statue));
    init_growable_array(&flagger_list, sizeof(Flagger));
    create_object_grid();
}

int load_track(void)
{
    if (!current_track.folder)
        return 0;
    checked_free(current_track.long_name);
    const char *long_name = current_track.folder;
    for (int i = 0; i < track_catalogue.count; i++)
        if (!strcmp(track_catalogue.folders[i], current_track.folder)) {
            long_name = track_catalogue.long_names[i];
            break;
        }
    current_track.long_name = copy_string(long_name);

    Ripemd160Context digest;
    ripemd160_init(&digest);
    make_tables();
    show_loading_step("Scanning");
    start_terrain_digest(&digest);
    show_loading_done("Scanning");
    char *folder = track_file_path("");
    if (verbose_setting)
        log_printf("Loading '%s'\n", folder);

    char *path = track_file_path("/lighting");
    read_lighting(path);
    checked_free(path);

    if (!load_terrain(&track_terrain, folder, terrain_texture_mode_setting)) {
        finish_terrain_digest();
        checked_free(folder);
        clear_track_names();
        return 0;
    }
    checked_free(folder);
    current_terrain = &track_terrain;
    log_texture_memory("hf creation");

    finish_terrain_digest();
    digest_track_file(&digest, "/timing_gates");
    path = track_file_path("/timing_gates");
    read_timing_gates(path);
    checked_free(path);

    int first_particle = billboard_table.count;
    for (int i = 0; i < PARTICLE_COUNT; i++)
        add_billboard(0.0f, 0.0f, 0.0f, 1.0f, 1.0f, nullptr);
    reset_particles(first_particle);

    show_loading_step("Loading flaggers");
    path = track_file_path("/flaggers");
    read_flaggers(path);
    checked_free(path);
    show_loading_done("Loading flaggers");
    log_texture_memory("flagger creation");

    statue_file_start = statue_table.count;
    billboard_file_start = billboard_table.count;

    path = track_file_path("/billboards");
    GameFile *file = file_open(path, "rb");
    checked_free(path);
    if (file) {
        show_loading_step("Loading billboards");
        read_billboards(file, show_billboards_progress);
        show_loading_done("Loading billboards");
        file_close(file);
    }
    log_texture_memory("billboard creation");

    digest_track_file(&digest, "/statues");
    path = track_file_path("/statues");
    file = file_open(path, "rb");
    checked_free(path);
    if (file) {
        show_loading_step("Loading statues");
        read_statues(file, show_statues_progress);
        show_loading_done("Loading statues");
        file_close(file);
    }

    show_loading_step("Loading map");
    log_texture_memory("statue creation");
    path = track_file_path("/map.png");
    current_track.map_texture = load_texture(path);
    checked_free(path);
    show_loading_done("Loading map");

    rebuild_object_grid();
    if (editor_on)
        read_edinfo(editor_state, &track_terrain);
    digest_statue_shapes(&digest);
    ripemd160_final(&digest);
    memcpy(current_track.digest, digest.digest, sizeof current_track.digest);

    path = track_file_path("/cameras");
    read_cameras(path);
    checked_free(path);
    return 1;
}

void free_track(void)
{
    log_printf("Deallocating track\n");
    if (editor_on)
        free_editor_data();
    free_lap_pool();
    free_object_grid();
    for (int i = 0; i < statue_table.count; i++)
        free_statue(get_statue(i));
    free_flare_list();
    free_growable_array(&statue_table);
    free_billboard_names();
    free_growable_array(&billboard_table);
    free_growable_array(&billboard_draw_slots);
    free_growable_array(&flagger_list);
    statue_file_start = billboard_file_start = 0;
    start_gate_count = 0;
    timing_gate_count = 0;
    lap_gate_list.first_lap_count = lap_gate_list.normal_lap_count = 0;
    lap_gate_list.first_lap_timing = lap_gate_list.normal_lap_timing = 0;
    reset_particles(-1 - PARTICLE_COUNT);
    free_terrain(&track_terrain);
    current_track.map_texture = 0;
    log_printf("Finished deallocating track\n");
}
