// The driver's strings, version, extension flags and limits, and the
// extension entry points, read once the context exists.
#include "render/gl_extensions.h"

#include <cstdio>
#include <cstring>

#include "core/message.h"
#include "platform/log.h"
#include "platform/window.h"
#include "render/render_settings.h"

GlInfo gl_info = {"NULL", "NULL", "NULL", "NULL", 0, 0, 0, 0, 0, 0, 0, 1, 0};
GlEntryPoints gl_entry;

int gl_ready(void)
{
    return gl_context_is_current();
}

int gl_extension_in_list(const char *list, const char *name)
{
    size_t length = strlen(name);
    if (!list || length == 0)
        return 0;
    for (const char *at = strstr(list, name); at; at = strstr(at + 1, name)) {
        int starts = at == list || at[-1] == ' ';
        int ends = at[length] == ' ' || at[length] == 0;
        if (starts && ends)
            return 1;
    }
    return 0;
}

static const char *gl_string(GLenum which)
{
    const char *text = (const char *)glGetString(which);
    return intern_string(text ? text : "NULL");
}

void apply_gl_capabilities(void)
{
    framebuffer_extension = gl_info.has_framebuffer_object;
    auto_mipmap_extension = gl_info.has_generate_mipmap;
    shader_capability = gl_info.has_fragment_shader && gl_info.has_vertex_shader &&
                        gl_info.has_multitexture && gl_info.texture_unit_count > 3;
    if (!shader_capability)
        shader_programs_available = 0;
}

void load_gl_extensions(void)
{
    gl_info.vendor = gl_string(GL_VENDOR);
    gl_info.renderer = gl_string(GL_RENDERER);
    gl_info.version = gl_string(GL_VERSION);
    gl_info.extensions = gl_string(GL_EXTENSIONS);
    gl_info.major = gl_info.minor = 0;
    if (sscanf(gl_info.version, "%d.%d", &gl_info.major, &gl_info.minor) < 2)
        gl_info.minor = 0;
    const char *list = gl_info.extensions;
    gl_info.has_generate_mipmap = gl_extension_in_list(list, "GL_SGIS_generate_mipmap");
    gl_info.has_framebuffer_object = gl_extension_in_list(list, "GL_EXT_framebuffer_object");
    gl_info.has_multitexture = gl_extension_in_list(list, "GL_ARB_multitexture");
    gl_info.has_fragment_shader = gl_extension_in_list(list, "GL_ARB_fragment_shader");
    gl_info.has_vertex_shader = gl_extension_in_list(list, "GL_ARB_vertex_shader");
    gl_info.texture_unit_count = 1;
    if (gl_info.has_multitexture) {
        GLint units = 1;
        glGetIntegerv(GL_MAX_TEXTURE_UNITS_ARB, &units);
        gl_info.texture_unit_count = units > 0 ? units : 1;
        log_printf("%d texture units\n", gl_info.texture_unit_count);
    }
    GLint size = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
    gl_info.max_texture_size = size > 0 ? size : 64;
    // RGB rows of odd widths are not padded.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
#define GL_ENTRY_POINT_FETCH(type, name) gl_entry.name = (type)get_gl_proc_address(#name);
    GL_ENTRY_POINTS(GL_ENTRY_POINT_FETCH)
#undef GL_ENTRY_POINT_FETCH
    apply_gl_capabilities();
}
