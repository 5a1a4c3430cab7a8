// Building the seven programs, binding them by slot with change counting,
// and feeding their environment-matrix and bone uniforms.
#include "render/shaders.h"

#include <cstring>
#include <initializer_list>

#include "core/alloc.h"
#include "platform/log.h"

ShaderSlotRecord shader_slots[SHADER_SLOT_COUNT];
GLint env_matrix_locations[2] = {-1, -1};
int current_shader_slot;
int shader_change_count;
int texture_change_count;

// The longest info log fetched from the driver.
enum { INFO_LOG_LIMIT = 1 << 16 };

static int shader_functions_ready(void)
{
    return gl_info.has_vertex_shader && gl_info.has_fragment_shader && gl_entry.glCreateShaderObjectARB &&
           gl_entry.glShaderSourceARB && gl_entry.glCompileShaderARB && gl_entry.glCreateProgramObjectARB &&
           gl_entry.glAttachObjectARB && gl_entry.glLinkProgramARB && gl_entry.glUseProgramObjectARB &&
           gl_entry.glGetObjectParameterivARB && gl_entry.glGetInfoLogARB && gl_entry.glDeleteObjectARB &&
           gl_entry.glDetachObjectARB && gl_entry.glGetUniformLocationARB && gl_entry.glUniform1iARB &&
           gl_entry.glUniform3fvARB && gl_entry.glUniformMatrix3fvARB;
}

static void clear_slots(void)
{
    for (ShaderSlotRecord &slot : shader_slots) {
        slot.program = slot.vertex_shader = slot.fragment_shader = 0;
        for (GLint &location : slot.bone_locations)
            location = -1;
        slot.bones_looked_up = 0;
    }
    env_matrix_locations[0] = env_matrix_locations[1] = -1;
}

// Detaches and deletes every slot's objects and clears the slots.
static void release_slots(void)
{
    if (gl_entry.glDeleteObjectARB && gl_entry.glDetachObjectARB)
        for (ShaderSlotRecord &slot : shader_slots) {
            if (slot.program) {
                if (slot.vertex_shader)
                    gl_entry.glDetachObjectARB(slot.program, slot.vertex_shader);
                if (slot.fragment_shader)
                    gl_entry.glDetachObjectARB(slot.program, slot.fragment_shader);
                gl_entry.glDeleteObjectARB(slot.program);
            }
            if (slot.vertex_shader)
                gl_entry.glDeleteObjectARB(slot.vertex_shader);
            if (slot.fragment_shader)
                gl_entry.glDeleteObjectARB(slot.fragment_shader);
        }
    if (current_shader_slot != 0 && gl_entry.glUseProgramObjectARB)
        gl_entry.glUseProgramObjectARB(0);
    current_shader_slot = 0;
    clear_slots();
}

// Logs the object's info log when it has one; the buffer is sized from the
// length the driver reports, within a bound.
static void log_info(GLhandleARB object, const char *status, const char *name)
{
    GLint length = 0;
    gl_entry.glGetObjectParameterivARB(object, GL_OBJECT_INFO_LOG_LENGTH_ARB, &length);
    if (length <= 0)
        return;
    if (length > INFO_LOG_LIMIT)
        length = INFO_LOG_LIMIT;
    char *text = (char *)checked_malloc((size_t)length + 1);
    if (!text)
        return;
    GLsizei written = 0;
    gl_entry.glGetInfoLogARB(object, length, &written, text);
    text[written >= 0 && written <= length ? written : 0] = 0;
    log_printf("%s for %s:\n%s\n", status, name, text);
    checked_free(text);
}

static int compile_stage(GLhandleARB shader, const char *source, const char *status, const char *name)
{
    const GLcharARB *text = source;
    gl_entry.glShaderSourceARB(shader, 1, &text, nullptr);
    gl_entry.glCompileShaderARB(shader);
    log_info(shader, status, name);
    GLint compiled = 0;
    gl_entry.glGetObjectParameterivARB(shader, GL_OBJECT_COMPILE_STATUS_ARB, &compiled);
    return compiled != 0;
}

int shader_build_program(GLhandleARB *program, GLhandleARB *vertex_shader, GLhandleARB *fragment_shader,
                         const char *vertex_source, const char *fragment_source, const char *name)
{
    if (!shader_functions_ready() || !vertex_source || !fragment_source)
        return 0;
    *vertex_shader = gl_entry.glCreateShaderObjectARB(GL_VERTEX_SHADER_ARB);
    *fragment_shader = gl_entry.glCreateShaderObjectARB(GL_FRAGMENT_SHADER_ARB);
    if (!*vertex_shader || !*fragment_shader ||
        !compile_stage(*vertex_shader, vertex_source, "vertex shader status", name) ||
        !compile_stage(*fragment_shader, fragment_source, "fragment shader status", name)) {
        release_slots();
        return 0;
    }
    *program = gl_entry.glCreateProgramObjectARB();
    if (!*program) {
        release_slots();
        return 0;
    }
    gl_entry.glAttachObjectARB(*program, *vertex_shader);
    gl_entry.glAttachObjectARB(*program, *fragment_shader);
    gl_entry.glLinkProgramARB(*program);
    log_info(*program, "link status", name);
    GLint linked = 0;
    gl_entry.glGetObjectParameterivARB(*program, GL_OBJECT_LINK_STATUS_ARB, &linked);
    if (!linked) {
        release_slots();
        return 0;
    }
    return 1;
}

static void bind_sampler(int slot, const char *sampler, int unit)
{
    bind_shader_slot((unsigned)slot);
    GLint location = gl_entry.glGetUniformLocationARB(shader_slots[slot].program, sampler);
    if (location != -1)
        gl_entry.glUniform1iARB(location, unit);
}

int build_shader_programs(void)
{
    if (!gl_info.has_fragment_shader || !gl_info.has_vertex_shader || !shader_functions_ready())
        return 0;
    clear_slots();
    for (int slot = 1; slot < SHADER_SLOT_COUNT; slot++) {
        ShaderSlotRecord &record = shader_slots[slot];
        if (!shader_build_program(&record.program, &record.vertex_shader, &record.fragment_shader,
                                  shader_vertex_source(slot), shader_fragment_source(slot),
                                  shader_slot_name(slot)))
            return 0;
    }
    for (int slot : {3, 4, 5, 7})
        bind_sampler(slot, "nmap", 1);
    for (int slot : {5, 7})
        bind_sampler(slot, "smap", 2);
    bind_sampler(6, "base", 1);
    bind_shader_slot(0);
    return 1;
}

void bind_shader_slot(unsigned slot)
{
    if (slot >= SHADER_SLOT_COUNT || (int)slot == current_shader_slot)
        return;
    // Without the shader extensions only the fixed pipeline exists.
    if (slot != 0 && (!shader_functions_ready() || !shader_slots[slot].program))
        return;
    current_shader_slot = (int)slot;
    if (gl_entry.glUseProgramObjectARB && gl_info.has_vertex_shader && gl_info.has_fragment_shader)
        gl_entry.glUseProgramObjectARB(shader_slots[slot].program);
    shader_change_count++;
}

GLhandleARB get_shader_program(int slot)
{
    return slot >= 1 && slot < SHADER_SLOT_COUNT ? shader_slots[slot].program : 0;
}

void set_env_matrix(const float *matrix)
{
    if (!shader_functions_ready())
        return;
    float columns[9];
    for (int row = 0; row < 3; row++)
        for (int column = 0; column < 3; column++)
            columns[column * 3 + row] = matrix[row * 3 + column];
    const int slots[2] = {SHADER_ENV, SHADER_NORM_ENV};
    for (int i = 0; i < 2; i++) {
        if (!shader_slots[slots[i]].program)
            continue;
        bind_shader_slot((unsigned)slots[i]);
        if (env_matrix_locations[i] == -1)
            env_matrix_locations[i] = gl_entry.glGetUniformLocationARB(shader_slots[slots[i]].program, "envmat");
        if (env_matrix_locations[i] != -1)
            gl_entry.glUniformMatrix3fvARB(env_matrix_locations[i], 1, GL_FALSE, columns);
    }
    bind_shader_slot(0);
}

void shader_set_bones(int n, const float *centres, const float *translations, const float *rotations)
{
    if (current_shader_slot < 1 || current_shader_slot >= SHADER_SLOT_COUNT || n < 0 || n > MAX_BONE ||
        !shader_functions_ready())
        return;
    if (n > 0 && (!centres || !translations || !rotations))
        return;
    ShaderSlotRecord &slot = shader_slots[current_shader_slot];
    if (!slot.bones_looked_up) {
        const char *names[4] = {"nbones", "bone_c", "bone_t", "bone_r"};
        for (int i = 0; i < 4; i++)
            slot.bone_locations[i] = gl_entry.glGetUniformLocationARB(slot.program, names[i]);
        slot.bones_looked_up = 1;
    }
    if (slot.bone_locations[0] != -1)
        gl_entry.glUniform1iARB(slot.bone_locations[0], n);
    if (n <= 0)
        return;
    if (slot.bone_locations[1] != -1)
        gl_entry.glUniform3fvARB(slot.bone_locations[1], n, centres);
    if (slot.bone_locations[2] != -1)
        gl_entry.glUniform3fvARB(slot.bone_locations[2], n, translations);
    if (slot.bone_locations[3] != -1)
        gl_entry.glUniformMatrix3fvARB(slot.bone_locations[3], n, GL_FALSE, rotations);
}

void delete_shader_programs(void)
{
    release_slots();
}
