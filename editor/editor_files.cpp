// The editor's files: the "edinfo" gradient lines, Save all through sibling
// temporaries (all files or none), and the scene export "track.pov".
#include "editor/editor.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/file.h"
#include "core/message.h"
#include "core/replace_file.h"
#include "platform/log.h"
#include "render/model.h"
#include "render/texture.h"
#include "track/objects.h"
#include "track/terrain.h"
#include "track/timing.h"
#include "track/track.h"

// ---- "edinfo" -------------------------------------------------------------------------

// The text after a leading word followed by a blank or the end, or null.
static const char *after_word(const char *line, const char *word)
{
    size_t length = strlen(word);
    if (strncmp(line, word, length) != 0)
        return nullptr;
    char next = line[length];
    if (next != 0 && next != ' ' && next != '\t' && next != '\r')
        return nullptr;
    return line + length;
}

static int usable_value(float v)
{
    return std::isfinite(v) && fabsf(v) <= TERRAIN_COORDINATE_LIMIT;
}

// Up to count numbers separated by blanks; the count read.
static int read_floats(const char *text, float *values, int count)
{
    int n = 0;
    while (n < count) {
        char *end;
        errno = 0;
        float v = strtof(text, &end);
        if (end == text)
            break;
        values[n++] = v;
        text = end;
    }
    return n;
}

int parse_edinfo_line(const char *line)
{
    EditorState *s = editor_state;
    if (!s || !line)
        return 0;
    while (*line == ' ' || *line == '\t')
        line++;
    if (const char *rest = after_word(line, "add_gradient")) {
        float v[4];
        if (read_floats(rest, v, 4) != 4)
            return 0;
        for (float value : v)
            if (!usable_value(value))
                return 0;
        if (!editor_new_gradient())
            return 0;
        Gradient *g = selected_gradient();
        g->points.count = g->flags.count = 0;
        g->start_x = v[0];
        g->start_z = v[1];
        g->end_x = v[2];
        g->end_z = v[3];
        return 1;
    }
    if (const char *rest = after_word(line, "add_point")) {
        char *end;
        long flag = strtol(rest, &end, 10);
        if (end == rest)
            return 0;
        float v[2];
        if (read_floats(end, v, 2) != 2 || !usable_value(v[0]) || !usable_value(v[1]))
            return 0;
        Gradient *g = selected_gradient();
        if (!g)
            return 0;
        return append_gradient_point(g, v[0], v[1], flag == 1);
    }
    return 0;
}

int write_edinfo_to(GameFile *file)
{
    const EditorState *s = editor_state;
    if (!s || !file)
        return 0;
    int ok = 1;
    for (int i = 0; ok && i < s->gradients.count; i++) {
        const Gradient *g = get_gradient(i);
        ok = file_printf(file, "add_gradient %f %f %f %f\n", g->start_x, g->start_z, g->end_x, g->end_z) > 0;
        for (int k = 0; ok && k < g->points.count; k++) {
            const GradientPoint *p = gradient_point(g, k);
            ok = file_printf(file, "add_point %d %f %f\n", *gradient_flag(g, k) == 1, p->distance, p->height) > 0;
        }
    }
    return ok;
}

static int write_edinfo(void)
{
    GameFile *file = open_track_write("/edinfo");
    if (!file) {
        print_message("Can't open 'edinfo'\n");
        return 0;
    }
    return close_track_write_reporting(file, "edinfo", write_edinfo_to(file));
}

// ---- Save all -------------------------------------------------------------------------

static char save_status[128];

static int fail_save(const char *name)
{
    snprintf(save_status, sizeof save_status, "Can't save '%s'", name);
    return 0;
}

int save_all_track_files(void)
{
    EditorState *s = editor_state;
    if (!s)
        return 0;
    if (!track_folder_listed()) {
        s->status = "Can't save: the track is not in the catalogue";
        print_message(s->status);
        return 0;
    }
    int first_message = message_log.next_line;
    begin_track_save();
    int ok = write_billboards() || fail_save("billboards");
    // A file the load did not accept is left as it is.
    if (ok && timing_gates_accepted)
        ok = write_timing_gates() || fail_save("timing_gates");
    if (ok)
        ok = save_terrain(s->terrain) || fail_save("terrain");
    if (ok)
        ok = write_statues() || fail_save("statues");
    if (ok)
        ok = write_edinfo() || fail_save("edinfo");
    if (!finish_track_save(ok)) {
        if (ok) {
            fail_save("track files");
            print_message(save_status);
        }
        // The writer's own message names the file when it gave one.
        if (!ok && message_log.next_line != first_message) {
            int last = (message_log.next_line + MESSAGE_LINES - 1) % MESSAGE_LINES;
            snprintf(save_status, sizeof save_status, "%.120s", message_log.lines[last]);
        }
        char *newline = strchr(save_status, '\n');
        if (newline)
            *newline = 0;
        s->status = save_status;
        return 0;
    }
    s->terrain->change_state &= ~2;
    s->status = "Saved!";
    return 1;
}

// ---- the scene export -----------------------------------------------------------------

void pov_identifier(GameFile *file, const char *name)
{
    if (!name)
        name = "";
    if (*name == '@')
        name++;
    const char *slash = strrchr(name, '/');
    const char *start = slash ? slash : name;
    const char *dot = strrchr(start, '.');
    const char *end = dot ? dot : start + strlen(start);
    if (start < end && *start >= '0' && *start <= '9')
        file_putc(file, '_');
    for (const char *c = start; c < end; c++) {
        unsigned char ch = (unsigned char)*c;
        int plain = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9');
        file_putc(file, plain ? ch : '_');
    }
}

int pov_safe_texture_name(const char *name, char *out, int size)
{
    if (!name || size < 1)
        return 0;
    if (*name == '@')
        name++;
    int n = 0;
    for (const char *c = name; *c; c++) {
        unsigned char ch = (unsigned char)(*c == '\\' ? '/' : *c);
        int allowed = (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') ||
                      strchr("_-./", ch) != nullptr;
        if (!allowed || n >= size - 1)
            return 0;
        out[n++] = (char)ch;
    }
    out[n] = 0;
    return 1;
}

int write_pov_texture(GameFile *file, const char *name)
{
    char clean[1024];
    if (!pov_safe_texture_name(name, clean, sizeof clean))
        return 0;
    size_t length = strlen(clean);
    const char *type = length >= 5 && !strcmp(clean + length - 4, ".ppm") ? "ppm" : "png";
    file_printf(file, "\t\ttexture { uv_mapping pigment { image_map { %s \"%s\"} } scale <1,-1,1> }\n", type,
                clean);
    return 1;
}

// 0 when it could not be written whole (out of memory); write failures are
// the stream's to report.
static int write_statue_block(GameFile *file)
{
    int count = statue_table.count;
    char *declared = (char *)checked_calloc(count > 0 ? count : 1, 1);
    if (!declared)
        return 0;
    for (int j = 0; j < count; j++) {
        const Statue *s = get_statue(j);
        if (!s->model || declared[j])
            continue;
        const char *name = get_model_name(s->model);
        for (int k = j + 1; k < count; k++) {
            const Statue *other = get_statue(k);
            const char *other_name = other->model ? get_model_name(other->model) : nullptr;
            if (name && other_name && !strcmp(name, other_name))
                declared[k] = 1;
        }
        file_puts(file, "#declare ");
        pov_identifier(file, name);
        file_puts(file, " = ");
        write_model_pov_union(s->model, file);
    }
    checked_free(declared);
    file_puts(file, "#declare statues = union {\n");
    for (int j = 0; j < count; j++) {
        const Statue *s = get_statue(j);
        if (!s->model)
            continue;
        file_puts(file, "\tobject {\n\t\t");
        pov_identifier(file, get_model_name(s->model));
        file_puts(file, "\n");
        const char *texture = s->texture ? get_texture_name(s->texture) : nullptr;
        if (texture && !write_pov_texture(file, texture))
            log_printf("Scene export: statue %d's texture name is left out\n", j);
        const float *b = s->orientation;
        file_printf(file, "\t\tmatrix <%f,%f,%f,%f,%f,%f,%f,%f,%f,0,0,0>\n", b[0], b[3], b[6], b[1], b[4], b[7], b[2],
                    b[5], b[8]);
        file_printf(file, "\t\ttranslate <%f,%f,%f>\n", s->x, s->y, s->z);
        file_puts(file, "\t}\n");
    }
    file_puts(file, "}\n");
    return 1;
}

int export_pov_scene(void)
{
    EditorState *s = editor_state;
    if (!s)
        return 0;
    // Beside the saved track files: in the home folder. Every write goes to
    // the one stream, whose first failure the commit reports.
    char *name = track_file_path("/track.pov");
    ReplacementFile out;
    int opened = open_replacement_file(&out, name);
    checked_free(name);
    if (!opened) {
        s->status = "Can't open 'track.pov'";
        print_message("Can't open 'track.pov'\n");
        return 0;
    }
    GameFile *file = out.file;
    if (statue_table.count > 0 && !write_statue_block(file))
        out.failed = 1;
    file_puts(file, "#declare billboards = union {\n");
    for (int i = 0; i < billboard_table.count; i++) {
        const Billboard *b = get_billboard(i);
        const char *name = b->texture ? get_texture_name(b->texture) : nullptr;
        if (!name)
            continue;
        file_puts(file, "object {\n\t");
        pov_identifier(file, name);
        file_printf(file, "()\n\ttranslate <%f,%f,%f>\n", b->x, b->y, b->z);
        file_puts(file, "}\n");
    }
    file_puts(file, "}\n");
    const Terrain *t = s->terrain;
    file_puts(file, "#declare ground = ");
    file_puts(file, "height_field {\n\tpng \"terrain.png\"\n");
    file_printf(file, "\tscale <1, 1, -1>\n\ttranslate <0, 0, 1>\n\tscale <%f,%f,%f>\n", t->extent,
                t->max_height - t->min_height, t->extent);
    file_printf(file, "\ttranslate <0,%f,0>\n}\n", t->min_height);
    if (!commit_replacement_file(&out)) {
        s->status = "Can't write 'track.pov'";
        print_message("Can't write 'track.pov'\n");
        return 0;
    }
    s->status = "Pov!";
    return 1;
}
