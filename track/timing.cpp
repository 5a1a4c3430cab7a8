// The "timing_gates" file (starting gate pieces, checkpoints and the two lap
// lists, which size the lap pool) and the "flaggers" file.
#include "track/timing.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/shell.h"
#include "bike/shape.h"
#include "core/file.h"
#include "core/message.h"
#include "platform/log.h"
#include "race/lap_pool.h"
#include "render/model.h"
#include "render/texture.h"
#include "track/objects.h"
#include "track/track.h"

TimingGate timing_gates[TIMING_GATE_SLOTS];
int timing_gate_count;
StartGatePiece start_gate_pieces[START_GATE_PIECES];
int start_gate_statues[START_GATE_PIECES];
int start_gate_count;
LapGateList lap_gate_list;
FlaggerSetup flagger_setup;
GrowableArray flagger_list;

static const char *const DEFAULT_GATE_MODEL = "@startgate.jm";
static const char *const DEFAULT_GATE_TEXTURE = "@startgate.ppm";
static const char *const DEFAULT_GATE_SHAPE = "@startgate.shp";
static const float PI = 3.14159265358979f;

static int all_finite(const float *values, int count)
{
    for (int i = 0; i < count; i++)
        if (!std::isfinite(values[i]))
            return 0;
    return 1;
}

// Reads the starting gate lines; 1 when "checkpoints:" ended the section.
// Pieces beyond the 160th are read past, so the sections after them stay.
static int read_gate_pieces(GameFile *file, int *stop)
{
    char line[1024];
    static char model[1024], texture[1024], shape[1024];
    while (file_gets(file, line, sizeof line)) {
        char word[16];
        if (sscanf(line, " %15s", word) == 1 && !strcmp(word, "checkpoints:"))
            return 1;
        float v[4];
        model[0] = texture[0] = shape[0] = 0;
        int read = sscanf(line, " [ %f %f %f ] %f %1023s %1023s %1023s", &v[0], &v[1], &v[2], &v[3],
                          model, texture, shape);
        if (read < 4) {
            *stop = 1;
            return 0;
        }
        if (start_gate_count == START_GATE_PIECES || !all_finite(v, 4))
            continue;
        float angle = v[3];
        if (angle < -PI || angle > PI) {
            float turns = (angle + PI) / (2.0f * PI);
            angle = (turns - floorf(turns)) * 2.0f * PI - PI;
        }
        StartGatePiece *piece = &start_gate_pieces[start_gate_count];
        piece->x = v[0];
        piece->y = v[1];
        piece->z = v[2];
        piece->angle = angle;
        start_gate_statues[start_gate_count] =
            add_statue(v[0] - 3.0f * sinf(angle), v[1], v[2] - 3.0f * cosf(angle), angle,
                       read >= 5 ? model : DEFAULT_GATE_MODEL, read >= 6 ? texture : DEFAULT_GATE_TEXTURE,
                       read >= 7 ? shape : DEFAULT_GATE_SHAPE);
        start_gate_count++;
    }
    return 0;
}

// One lap list of "%d" values into the entries from first; its count.
static int read_lap_list(GameFile *file, int first, int checkpoints, int *timing)
{
    int count = 0;
    *timing = 0;
    int value;
    while (first + count < LAP_GATE_SLOTS && file_scanf(file, "%d", &value) == 1) {
        int entry;
        if (value < 0) {
            entry = 0;
        } else {
            int gate = value % NOT_TIMING_MARK;
            entry = (value >= NOT_TIMING_MARK ? NOT_TIMING_MARK : 0) +
                    (gate < checkpoints - 1 ? gate : checkpoints - 1);
        }
        lap_gate_list.entries[first + count++] = entry;
        if (entry < NOT_TIMING_MARK)
            (*timing)++;
    }
    return count;
}

int timing_gates_accepted;

void read_timing_gates(const char *path)
{
    timing_gate_count = 0;
    start_gate_count = 0;
    lap_gate_list.first_lap_count = lap_gate_list.normal_lap_count = 0;
    lap_gate_list.first_lap_timing = lap_gate_list.normal_lap_timing = 0;
    timing_gates_accepted = 0;
    GameFile *file = file_open(path, "rb");
    if (!file)
        return;
    int checkpoints = 0, first_count = 0, normal_count = 0, first_timing = 0, normal_timing = 0;
    char word[96] = "";
    int stop = 0;
    if (file_scanf(file, " %80s ", word) == 1 && !strcmp(word, "startinggate:")) {
        word[0] = 0;
        if (read_gate_pieces(file, &stop))
            strcpy(word, "checkpoints:");
    }
    if (!stop) {
        if (!strcmp(word, "checkpoints:")) {
            while (checkpoints < TIMING_GATE_SLOTS) {
                TimingGate *gate = &timing_gates[checkpoints];
                float v[7];
                if (file_scanf(file, "%f [ %f %f %f ] [ %f %f %f ] ", &v[0], &v[1], &v[2], &v[3], &v[4],
                               &v[5], &v[6]) != 7 ||
                    !all_finite(v, 7))
                    break;
                memset(gate, 0, sizeof *gate);
                gate->radius = v[0];
                gate->x = v[1];
                gate->y = v[2];
                gate->z = v[3];
                gate->direction[0] = v[4];
                gate->direction[1] = v[5];
                gate->direction[2] = v[6];
                checkpoints++;
            }
        }
        word[0] = 0;
        file_scanf(file, " %80s ", word);
        if (!strcmp(word, "firstlap:")) {
            first_count = read_lap_list(file, 0, checkpoints, &first_timing);
            word[0] = 0;
            file_scanf(file, " %80s ", word);
        }
        if (!strcmp(word, "normallap:"))
            normal_count = read_lap_list(file, first_count, checkpoints, &normal_timing);
    }
    if (checkpoints >= 1 && first_count > 2 && normal_count > 2 && first_timing > 2 && normal_timing > 2) {
        create_lap_pool(first_timing, normal_timing);
        timing_gate_count = checkpoints;
        timing_gates_accepted = 1;
        lap_gate_list.first_lap_count = first_count;
        lap_gate_list.normal_lap_count = normal_count;
        lap_gate_list.first_lap_timing = first_timing;
        lap_gate_list.normal_lap_timing = normal_timing;
        if (verbose_setting)
            log_printf("Found %d timing gates, first lap has %d gates, normal lap has %d\n", checkpoints,
                       first_count, normal_count);
    }
    file_close(file);
}

static const char *name_or_null(const char *name)
{
    return name ? name : "null";
}

int write_timing_gates(void)
{
    GameFile *file = open_track_write("/timing_gates");
    if (!file) {
        print_message("Can't open 'timing_gates'\n");
        return 0;
    }
    // Each line is checked; the close reports a failure all the same.
    int ok = 1;
    if (start_gate_count > 0) {
        ok = file_printf(file, "startinggate:\n") > 0;
        for (int i = 0; ok && i < start_gate_count; i++) {
            const StartGatePiece *piece = &start_gate_pieces[i];
            ok = file_printf(file, "[%f %f %f] %f", piece->x, piece->y, piece->z, piece->angle) > 0;
            const Statue *statue = get_statue(start_gate_statues[i]);
            const char *model = DEFAULT_GATE_MODEL, *texture = DEFAULT_GATE_TEXTURE,
                       *shape = DEFAULT_GATE_SHAPE;
            if (statue) {
                model = name_or_null(statue->names[0]);
                texture = name_or_null(statue->names[1]);
                shape = name_or_null(statue->names[2]);
            }
            if (!strcmp(model, DEFAULT_GATE_MODEL) && !strcmp(texture, DEFAULT_GATE_TEXTURE) &&
                !strcmp(shape, DEFAULT_GATE_SHAPE))
                ok = ok && file_printf(file, "\n") > 0;
            else
                ok = ok && file_printf(file, " %s %s %s\n", model, texture, shape) > 0;
        }
    }
    if (ok && timing_gate_count > 0) {
        ok = file_printf(file, "checkpoints:\n") > 0;
        for (int i = 0; ok && i < timing_gate_count; i++) {
            const TimingGate *gate = &timing_gates[i];
            ok = file_printf(file, "%f [%f %f %f] [%f %f %f]\n", gate->radius, gate->x, gate->y, gate->z,
                             gate->direction[0], gate->direction[1], gate->direction[2]) > 0;
        }
    }
    if (ok && (lap_gate_list.first_lap_count > 0 || lap_gate_list.normal_lap_count > 0)) {
        ok = file_printf(file, "firstlap:\n") > 0;
        for (int i = 0; ok && i < lap_gate_list.first_lap_count; i++)
            ok = file_printf(file, "%d ", lap_gate_list.entries[i]) > 0;
        ok = ok && file_printf(file, "\nnormallap:\n") > 0;
        for (int i = 0; ok && i < lap_gate_list.normal_lap_count; i++)
            ok = file_printf(file, "%d ", lap_gate_list.entries[lap_gate_list.first_lap_count + i]) > 0;
        ok = ok && file_printf(file, "\n") > 0;
    }
    return close_track_write_reporting(file, "timing_gates", ok);
}

static int read_names(GameFile *file, char (*names)[1024], int count)
{
    for (int i = 0; i < count; i++)
        if (file_scanf(file, " %1023s ", names[i]) != 1)
            return 0;
    return 1;
}

static int clamp_checkpoint(int number)
{
    if (number < -1)
        return -1;
    return number < timing_gate_count - 1 ? number : timing_gate_count - 1;
}

void read_flaggers(const char *path)
{
    FlaggerSetup *setup = &flagger_setup;
    memset(setup, 0, sizeof *setup);
    setup->billboard_a = setup->billboard_b = -1;
    setup->value = 1.0f;
    if (!flagger_list.data)
        init_growable_array(&flagger_list, sizeof(Flagger));
    GameFile *file = file_open(path, "rb");
    if (!file)
        return;
    static char names[5][1024];
    float a[9], b[5];
    if (file_scanf(file, " [ %f %f %f ] [ %f %f %f ] %f %f %f ", &a[0], &a[1], &a[2], &a[3], &a[4], &a[5],
                   &a[6], &a[7], &a[8]) != 9 ||
        !all_finite(a, 9))
        goto done;
    memcpy(setup->position_a, a, sizeof setup->position_a);
    memcpy(setup->second_point, a + 3, sizeof setup->second_point);
    setup->width_a = a[6];
    setup->height_a = a[7];
    setup->value = a[8];
    if (!read_names(file, names, 5))
        goto done;
    for (int i = 0; i < 5; i++)
        setup->textures_a[i] = load_texture(names[i]);
    setup->billboard_a = add_billboard(a[0], a[1], a[2], a[6], a[7], names[0]);

    if (file_scanf(file, " [ %f %f %f ] %f %f ", &b[0], &b[1], &b[2], &b[3], &b[4]) != 5 || !all_finite(b, 5) ||
        !read_names(file, names, 4))
        goto done;
    for (int i = 0; i < 4; i++)
        setup->textures_b[i] = load_texture(names[i]);
    setup->billboard_b = add_billboard(b[0], b[1], b[2], b[3], b[4], names[0]);

    for (;;) {
        float v[5];
        int c[4];
        if (file_scanf(file, " [ %f %f %f ] %f %f %d %d %d %d", &v[0], &v[1], &v[2], &v[3], &v[4], &c[0], &c[1],
                       &c[2], &c[3]) != 9 ||
            !all_finite(v, 5) || !read_names(file, names, 2))
            break;
        Flagger flagger;
        flagger.billboard = add_billboard(v[0], v[1], v[2], v[3], v[4], names[0]);
        flagger.texture_one = load_texture(names[0]);
        flagger.texture_two = load_texture(names[1]);
        for (int i = 0; i < 4; i++)
            flagger.checkpoints[i] = clamp_checkpoint(c[i]);
        Flagger *slot = (Flagger *)append_to_growable_array(&flagger_list);
        if (slot)
            *slot = flagger;
    }
done:
    file_close(file);
}
