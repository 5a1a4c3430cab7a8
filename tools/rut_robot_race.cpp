// rut_robot_race: races fields of the game's robots on a generated track
// and prints what each robot did, the crash table of the data build's
// robot check at full size.
//
//   rut_robot_race --data FOLDER [--home FOLDER] [--track FOLDER]
//                  [--skill novice|amateur|expert|all] [--laps N] [--seed N]...
//
// The field: twelve robots, four of each personality, from the first
// gate row. Exit status 1 when a race breaks the check's bounds.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/file.h"
#include "tools/datagen/gen_robot_check.h"
#include "tools/datagen/gen_track.h"

// Where on the track (the design's centreline) a point lies: its distance
// along the loop and the feature under it.
static void describe_place(const TrackModel *model, float x, float z, char *out, int size)
{
    float lateral = 0.0f;
    int i = model->count > 0 ? nearest_centre_point(model, x, z, 200.0f, &lateral) : -1;
    if (i < 0) {
        snprintf(out, (size_t)size, "(%.0f, %.0f) off the track", (double)x, (double)z);
        return;
    }
    const CentrePoint *p = &model->points[i];
    const char *kinds[] = {"tabletop", "double", "whoops", "rhythm", "sand"};
    char feature[48] = "";
    if (p->feature >= 0)
        snprintf(feature, sizeof feature, " on %s #%d", kinds[model->design->features[p->feature].kind], p->feature);
    snprintf(out, (size_t)size, "s %.0f ft, %+.0f ft across%s%s%s", (double)p->s, (double)lateral, feature,
             p->sand ? " in sand" : "", p->corner ? " in a corner" : "");
}

static int usage(void)
{
    fprintf(stderr, "usage: rut_robot_race --data FOLDER [--home FOLDER] [--track FOLDER] "
                    "[--skill novice|amateur|expert|all] [--laps N] [--seed N]...\n");
    return 2;
}

int main(int argc, char **argv)
{
    const char *data = nullptr, *home = nullptr, *track = "tracks/cinder_hollow";
    int skill_from = 0, skill_to = 2, laps = 5, seeds[8], seed_count = 0;
    for (int i = 1; i < argc; i++) {
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (!value)
            return usage();
        if (!strcmp(argv[i], "--data")) {
            data = value;
        } else if (!strcmp(argv[i], "--home")) {
            home = value;
        } else if (!strcmp(argv[i], "--track")) {
            track = value;
        } else if (!strcmp(argv[i], "--skill")) {
            const char *names[3] = {"novice", "amateur", "expert"};
            skill_from = 0;
            skill_to = 2;
            for (int s = 0; s < 3; s++)
                if (!strcmp(value, names[s]))
                    skill_from = skill_to = s;
            if (skill_from != skill_to && strcmp(value, "all") != 0)
                return usage();
        } else if (!strcmp(argv[i], "--laps")) {
            laps = atoi(value);
        } else if (!strcmp(argv[i], "--seed") && seed_count < 8) {
            seeds[seed_count++] = atoi(value);
        } else {
            return usage();
        }
        i++;
    }
    if (!data || laps < 1)
        return usage();
    if (seed_count == 0)
        seeds[seed_count++] = 0;
    setenv("KZ_HOME", data, 1);
    if (home)
        setenv("XDG_DATA_HOME", home, 1);
    TrackModel model = {};
    const TrackDesign *design = !strcmp(track, FIXTURE_TRACK.folder) ? &FIXTURE_TRACK
                                : !strcmp(track, DEFAULT_TRACK.folder) ? &DEFAULT_TRACK
                                                                       : nullptr;
    if (design) {
        model.design = design;
        int tiles = 1 << design->grid_exponent;
        model.side = 2 * tiles + 1;
        model.extent = design->cell * (float)(2 * tiles);
        if (!build_track_centreline(&model))
            model.count = 0;
    }
    int within = 1;
    for (int skill = skill_from; skill <= skill_to; skill++) {
        int crashes = 0, robot_laps = 0;
        for (int k = 0; k < seed_count; k++) {
            reset_file_layer();
            RobotField field;
            full_robot_field(&field, track, skill, seeds[k]);
            field.laps = laps;
            RobotRaceReport report;
            if (!race_robot_field(&field, &report)) {
                fprintf(stderr, "rut_robot_race: the race on %s could not be set up\n", track);
                return 1;
            }
            print_robot_report(&field, &report, stdout);
            char place[128];
            for (int e = 0; e < report.crash_events; e++) {
                const RobotEvent *c = &report.crash_list[e];
                describe_place(&model, c->x, c->z, place, sizeof place);
                printf("    crash: #%s lap %d at %.1f s, %s\n", report.results[c->robot].number, c->lap,
                       (double)c->seconds, place);
            }
            for (int r = 0; r < report.robots; r++)
                if (report.results[r].longest_stop > 2.0f) {
                    describe_place(&model, report.results[r].stop_x, report.results[r].stop_z, place, sizeof place);
                    printf("    stop: #%s %.1f s at %s\n", report.results[r].number,
                           (double)report.results[r].longest_stop, place);
                }
            char why[256];
            if (!check_robot_report(&field, &report, why, sizeof why)) {
                printf("  over the bounds: %s\n", why);
                within = 0;
            }
            crashes += report.crashes;
            robot_laps += report.robot_laps;
            fflush(stdout);
        }
        printf("skill %d over %d seeds: %d crashes in %d robot-laps (%.3f a lap, at most %.2f)\n\n", skill, seed_count,
               crashes, robot_laps, robot_laps > 0 ? (double)crashes / robot_laps : 0.0,
               (double)robot_crash_bound(skill));
        if ((float)crashes > robot_crash_bound(skill) * (float)robot_laps)
            within = 0;
    }
    free_track_model(&model);
    return within ? 0 : 1;
}
