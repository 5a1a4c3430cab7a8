// The generator's order of work: shapes, sounds, fonts and pictures,
// models and skins, tracks, racing lines; then the manifest and the
// archive.
#include "tools/datagen/datagen.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/log.h"
#include "tools/datagen/gen_bikes.h"
#include "tools/datagen/gen_fonts.h"
#include "tools/datagen/gen_hud.h"
#include "tools/datagen/gen_lines.h"
#include "tools/datagen/gen_sky.h"
#include "tools/datagen/gen_textures.h"
#include "tools/datagen/gen_track.h"
#include "tools/datagen/gen_manifest.h"
#include "tools/datagen/gen_output.h"
#include "tools/datagen/gen_props.h"
#include "tools/datagen/gen_rider.h"
#include "tools/datagen/gen_shapes.h"
#include "tools/datagen/gen_sounds.h"

const char *const DATAGEN_DATA_FOLDER = "data";
const char *const DATAGEN_FIXTURE_FOLDER = "fixtures";
const char *const DATAGEN_ARCHIVE = "packed/rutline.saf";
const char *const DATAGEN_MANIFEST = "manifest.txt";

void default_datagen_options(DatagenOptions *options)
{
    memset(options, 0, sizeof *options);
    options->lines = LINES_ALL;
    options->jobs = 6;
}

static int step(const char *name, int ok)
{
    if (!ok)
        fprintf(stderr, "datagen: %s failed\n", name);
    return ok;
}

int run_datagen(const DatagenOptions *options)
{
    char path[DATA_PATH_MAX], output[PATH_MAX];
    if (!options->output || strlen(options->output) > DATA_PATH_MAX - 64)
        return 0;
    if (!step("clearing the output", clear_output_folder(options->output) && mark_output_folder(options->output)))
        return 0;
    // The races that ride the lines take their folders from the
    // environment, where the game only takes a home folder given whole.
    if (!realpath(options->output, output) || strlen(output) > DATA_PATH_MAX - 64) {
        fprintf(stderr, "datagen: the output folder %s has no usable full path\n", options->output);
        return 0;
    }
    DataSet data, fixtures;
    snprintf(path, sizeof path, "%s/%s", output, DATAGEN_DATA_FOLDER);
    int ok = open_data_set(&data, path);
    snprintf(path, sizeof path, "%s/%s", output, DATAGEN_FIXTURE_FOLDER);
    ok = open_data_set(&fixtures, path) && ok;

    ManifestInfo info;
    memset(&info, 0, sizeof info);
    ok = ok && step("shapes", generate_shapes(&data, info.stock_shape_digest));
    ok = ok && step("engine sounds", generate_engine_sounds(&data));
    ok = ok && step("fonts", generate_fonts(&data));
    ok = ok && step("instrument pictures", generate_hud_pictures(&data));
    ok = ok && step("sky", generate_sky(&data));
    ok = ok && step("textures", generate_textures(&data));
    ok = ok && step("bikes", generate_bikes(&data));
    ok = ok && step("rider", generate_rider(&data));
    ok = ok && step("props", generate_props(&data));

    // The tracks: the default one shipped, the fixture loop beside it; then
    // the racing lines of all of them at once.
    const TrackDesign *designs[2] = {&DEFAULT_TRACK, &FIXTURE_TRACK};
    DataSet *sets[2] = {&data, &fixtures};
    TrackModel tracks[2];
    memset(tracks, 0, sizeof tracks);
    DataSet *line_sets[2];
    const TrackModel *line_tracks[2];
    int line_count = 0;
    for (int t = 0; ok && t < 2; t++) {
        ok = step(designs[t]->folder, build_track_model(&tracks[t], designs[t]) && write_track_files(sets[t], &tracks[t]));
        if (options->lines == LINES_ALL || (options->lines == LINES_FIXTURE && sets[t] == &fixtures)) {
            line_sets[line_count] = sets[t];
            line_tracks[line_count++] = &tracks[t];
        }
    }
    if (ok && line_count > 0)
        ok = step("racing lines", generate_racing_lines(line_sets, line_tracks, line_count, data.root, options->jobs));
    for (int t = 0; t < 2; t++) {
        free_track_model(&tracks[t]);
        if (ok && info.track_count < MANIFEST_TRACKS) {
            snprintf(info.track_folders[info.track_count], sizeof info.track_folders[0], "%s", designs[t]->folder);
            compute_track_digest(sets[t], designs[t]->folder, info.track_digests[info.track_count]);
            info.track_count++;
        }
    }
    describe_font_versions(info.font_versions, sizeof info.font_versions);

    snprintf(path, sizeof path, "%s/%s", output, DATAGEN_ARCHIVE);
    ok = ok && step("archive", pack_data_set(&data, path));
    snprintf(path, sizeof path, "%s/%s", output, DATAGEN_MANIFEST);
    ok = ok && step("manifest", write_manifest(path, &data, &fixtures, &info));
    ok = ok && data.failures == 0 && fixtures.failures == 0;
    close_data_set(&data);
    close_data_set(&fixtures);
    close_font_faces();
    return ok;
}
