// What the OpenGL driver offers: its strings, version and extension flags,
// the texture limits, and the extension entry points fetched at start-up.
#pragma once

#define GL_GLEXT_LEGACY 1
#include <GL/gl.h>
#undef GL_GLEXT_LEGACY
#include <GL/glext.h>

struct GlInfo {
    const char *vendor;        // "NULL" when the driver gives none
    const char *renderer;
    const char *version;
    const char *extensions;
    int major;                 // from the version string, 0 when unread
    int minor;
    int has_generate_mipmap;
    int has_framebuffer_object;
    int has_multitexture;
    int has_fragment_shader;
    int has_vertex_shader;
    int texture_unit_count;    // 1 without multitexture
    int max_texture_size;      // texels on a side, 0 until read
};

extern GlInfo gl_info;

// Every extension function the game may fetch; null when the driver lacks
// it. Callers use one only when its extension's flag is set.
#define GL_ENTRY_POINTS(X) \
    X(PFNGLACTIVETEXTUREARBPROC, glActiveTextureARB) \
    X(PFNGLCLIENTACTIVETEXTUREARBPROC, glClientActiveTextureARB) \
    X(PFNGLMULTITEXCOORD1DARBPROC, glMultiTexCoord1dARB) \
    X(PFNGLMULTITEXCOORD1DVARBPROC, glMultiTexCoord1dvARB) \
    X(PFNGLMULTITEXCOORD1FARBPROC, glMultiTexCoord1fARB) \
    X(PFNGLMULTITEXCOORD1FVARBPROC, glMultiTexCoord1fvARB) \
    X(PFNGLMULTITEXCOORD1IARBPROC, glMultiTexCoord1iARB) \
    X(PFNGLMULTITEXCOORD1IVARBPROC, glMultiTexCoord1ivARB) \
    X(PFNGLMULTITEXCOORD1SARBPROC, glMultiTexCoord1sARB) \
    X(PFNGLMULTITEXCOORD1SVARBPROC, glMultiTexCoord1svARB) \
    X(PFNGLMULTITEXCOORD2DARBPROC, glMultiTexCoord2dARB) \
    X(PFNGLMULTITEXCOORD2DVARBPROC, glMultiTexCoord2dvARB) \
    X(PFNGLMULTITEXCOORD2FARBPROC, glMultiTexCoord2fARB) \
    X(PFNGLMULTITEXCOORD2FVARBPROC, glMultiTexCoord2fvARB) \
    X(PFNGLMULTITEXCOORD2IARBPROC, glMultiTexCoord2iARB) \
    X(PFNGLMULTITEXCOORD2IVARBPROC, glMultiTexCoord2ivARB) \
    X(PFNGLMULTITEXCOORD2SARBPROC, glMultiTexCoord2sARB) \
    X(PFNGLMULTITEXCOORD2SVARBPROC, glMultiTexCoord2svARB) \
    X(PFNGLMULTITEXCOORD3DARBPROC, glMultiTexCoord3dARB) \
    X(PFNGLMULTITEXCOORD3DVARBPROC, glMultiTexCoord3dvARB) \
    X(PFNGLMULTITEXCOORD3FARBPROC, glMultiTexCoord3fARB) \
    X(PFNGLMULTITEXCOORD3FVARBPROC, glMultiTexCoord3fvARB) \
    X(PFNGLMULTITEXCOORD3IARBPROC, glMultiTexCoord3iARB) \
    X(PFNGLMULTITEXCOORD3IVARBPROC, glMultiTexCoord3ivARB) \
    X(PFNGLMULTITEXCOORD3SARBPROC, glMultiTexCoord3sARB) \
    X(PFNGLMULTITEXCOORD3SVARBPROC, glMultiTexCoord3svARB) \
    X(PFNGLMULTITEXCOORD4DARBPROC, glMultiTexCoord4dARB) \
    X(PFNGLMULTITEXCOORD4DVARBPROC, glMultiTexCoord4dvARB) \
    X(PFNGLMULTITEXCOORD4FARBPROC, glMultiTexCoord4fARB) \
    X(PFNGLMULTITEXCOORD4FVARBPROC, glMultiTexCoord4fvARB) \
    X(PFNGLMULTITEXCOORD4IARBPROC, glMultiTexCoord4iARB) \
    X(PFNGLMULTITEXCOORD4IVARBPROC, glMultiTexCoord4ivARB) \
    X(PFNGLMULTITEXCOORD4SARBPROC, glMultiTexCoord4sARB) \
    X(PFNGLMULTITEXCOORD4SVARBPROC, glMultiTexCoord4svARB) \
    X(PFNGLISRENDERBUFFEREXTPROC, glIsRenderbufferEXT) \
    X(PFNGLBINDRENDERBUFFEREXTPROC, glBindRenderbufferEXT) \
    X(PFNGLDELETERENDERBUFFERSEXTPROC, glDeleteRenderbuffersEXT) \
    X(PFNGLGENRENDERBUFFERSEXTPROC, glGenRenderbuffersEXT) \
    X(PFNGLRENDERBUFFERSTORAGEEXTPROC, glRenderbufferStorageEXT) \
    X(PFNGLGETRENDERBUFFERPARAMETERIVEXTPROC, glGetRenderbufferParameterivEXT) \
    X(PFNGLISFRAMEBUFFEREXTPROC, glIsFramebufferEXT) \
    X(PFNGLBINDFRAMEBUFFEREXTPROC, glBindFramebufferEXT) \
    X(PFNGLDELETEFRAMEBUFFERSEXTPROC, glDeleteFramebuffersEXT) \
    X(PFNGLGENFRAMEBUFFERSEXTPROC, glGenFramebuffersEXT) \
    X(PFNGLCHECKFRAMEBUFFERSTATUSEXTPROC, glCheckFramebufferStatusEXT) \
    X(PFNGLFRAMEBUFFERTEXTURE1DEXTPROC, glFramebufferTexture1DEXT) \
    X(PFNGLFRAMEBUFFERTEXTURE2DEXTPROC, glFramebufferTexture2DEXT) \
    X(PFNGLFRAMEBUFFERTEXTURE3DEXTPROC, glFramebufferTexture3DEXT) \
    X(PFNGLFRAMEBUFFERRENDERBUFFEREXTPROC, glFramebufferRenderbufferEXT) \
    X(PFNGLGETFRAMEBUFFERATTACHMENTPARAMETERIVEXTPROC, glGetFramebufferAttachmentParameterivEXT) \
    X(PFNGLGENERATEMIPMAPEXTPROC, glGenerateMipmapEXT) \
    X(PFNGLDELETEOBJECTARBPROC, glDeleteObjectARB) \
    X(PFNGLGETHANDLEARBPROC, glGetHandleARB) \
    X(PFNGLDETACHOBJECTARBPROC, glDetachObjectARB) \
    X(PFNGLCREATESHADEROBJECTARBPROC, glCreateShaderObjectARB) \
    X(PFNGLSHADERSOURCEARBPROC, glShaderSourceARB) \
    X(PFNGLCOMPILESHADERARBPROC, glCompileShaderARB) \
    X(PFNGLCREATEPROGRAMOBJECTARBPROC, glCreateProgramObjectARB) \
    X(PFNGLATTACHOBJECTARBPROC, glAttachObjectARB) \
    X(PFNGLLINKPROGRAMARBPROC, glLinkProgramARB) \
    X(PFNGLUSEPROGRAMOBJECTARBPROC, glUseProgramObjectARB) \
    X(PFNGLVALIDATEPROGRAMARBPROC, glValidateProgramARB) \
    X(PFNGLUNIFORM1FARBPROC, glUniform1fARB) \
    X(PFNGLUNIFORM2FARBPROC, glUniform2fARB) \
    X(PFNGLUNIFORM3FARBPROC, glUniform3fARB) \
    X(PFNGLUNIFORM4FARBPROC, glUniform4fARB) \
    X(PFNGLUNIFORM1IARBPROC, glUniform1iARB) \
    X(PFNGLUNIFORM2IARBPROC, glUniform2iARB) \
    X(PFNGLUNIFORM3IARBPROC, glUniform3iARB) \
    X(PFNGLUNIFORM4IARBPROC, glUniform4iARB) \
    X(PFNGLUNIFORM1FVARBPROC, glUniform1fvARB) \
    X(PFNGLUNIFORM2FVARBPROC, glUniform2fvARB) \
    X(PFNGLUNIFORM3FVARBPROC, glUniform3fvARB) \
    X(PFNGLUNIFORM4FVARBPROC, glUniform4fvARB) \
    X(PFNGLUNIFORM1IVARBPROC, glUniform1ivARB) \
    X(PFNGLUNIFORM2IVARBPROC, glUniform2ivARB) \
    X(PFNGLUNIFORM3IVARBPROC, glUniform3ivARB) \
    X(PFNGLUNIFORM4IVARBPROC, glUniform4ivARB) \
    X(PFNGLUNIFORMMATRIX2FVARBPROC, glUniformMatrix2fvARB) \
    X(PFNGLUNIFORMMATRIX3FVARBPROC, glUniformMatrix3fvARB) \
    X(PFNGLUNIFORMMATRIX4FVARBPROC, glUniformMatrix4fvARB) \
    X(PFNGLGETOBJECTPARAMETERFVARBPROC, glGetObjectParameterfvARB) \
    X(PFNGLGETOBJECTPARAMETERIVARBPROC, glGetObjectParameterivARB) \
    X(PFNGLGETINFOLOGARBPROC, glGetInfoLogARB) \
    X(PFNGLGETATTACHEDOBJECTSARBPROC, glGetAttachedObjectsARB) \
    X(PFNGLGETUNIFORMLOCATIONARBPROC, glGetUniformLocationARB) \
    X(PFNGLGETACTIVEUNIFORMARBPROC, glGetActiveUniformARB) \
    X(PFNGLGETUNIFORMFVARBPROC, glGetUniformfvARB) \
    X(PFNGLGETUNIFORMIVARBPROC, glGetUniformivARB) \
    X(PFNGLGETSHADERSOURCEARBPROC, glGetShaderSourceARB) \
    X(PFNGLVERTEXATTRIB1FARBPROC, glVertexAttrib1fARB) \
    X(PFNGLVERTEXATTRIB1FVARBPROC, glVertexAttrib1fvARB) \
    X(PFNGLVERTEXATTRIB1SARBPROC, glVertexAttrib1sARB) \
    X(PFNGLVERTEXATTRIB1SVARBPROC, glVertexAttrib1svARB) \
    X(PFNGLVERTEXATTRIB1DARBPROC, glVertexAttrib1dARB) \
    X(PFNGLVERTEXATTRIB1DVARBPROC, glVertexAttrib1dvARB) \
    X(PFNGLVERTEXATTRIB2FARBPROC, glVertexAttrib2fARB) \
    X(PFNGLVERTEXATTRIB2FVARBPROC, glVertexAttrib2fvARB) \
    X(PFNGLVERTEXATTRIB2SARBPROC, glVertexAttrib2sARB) \
    X(PFNGLVERTEXATTRIB2SVARBPROC, glVertexAttrib2svARB) \
    X(PFNGLVERTEXATTRIB2DARBPROC, glVertexAttrib2dARB) \
    X(PFNGLVERTEXATTRIB2DVARBPROC, glVertexAttrib2dvARB) \
    X(PFNGLVERTEXATTRIB3FARBPROC, glVertexAttrib3fARB) \
    X(PFNGLVERTEXATTRIB3FVARBPROC, glVertexAttrib3fvARB) \
    X(PFNGLVERTEXATTRIB3SARBPROC, glVertexAttrib3sARB) \
    X(PFNGLVERTEXATTRIB3SVARBPROC, glVertexAttrib3svARB) \
    X(PFNGLVERTEXATTRIB3DARBPROC, glVertexAttrib3dARB) \
    X(PFNGLVERTEXATTRIB3DVARBPROC, glVertexAttrib3dvARB) \
    X(PFNGLVERTEXATTRIB4FARBPROC, glVertexAttrib4fARB) \
    X(PFNGLVERTEXATTRIB4FVARBPROC, glVertexAttrib4fvARB) \
    X(PFNGLVERTEXATTRIB4SARBPROC, glVertexAttrib4sARB) \
    X(PFNGLVERTEXATTRIB4SVARBPROC, glVertexAttrib4svARB) \
    X(PFNGLVERTEXATTRIB4DARBPROC, glVertexAttrib4dARB) \
    X(PFNGLVERTEXATTRIB4DVARBPROC, glVertexAttrib4dvARB) \
    X(PFNGLVERTEXATTRIB4NBVARBPROC, glVertexAttrib4NbvARB) \
    X(PFNGLVERTEXATTRIB4NSVARBPROC, glVertexAttrib4NsvARB) \
    X(PFNGLVERTEXATTRIB4NIVARBPROC, glVertexAttrib4NivARB) \
    X(PFNGLVERTEXATTRIB4NUBVARBPROC, glVertexAttrib4NubvARB) \
    X(PFNGLVERTEXATTRIB4NUSVARBPROC, glVertexAttrib4NusvARB) \
    X(PFNGLVERTEXATTRIB4NUIVARBPROC, glVertexAttrib4NuivARB) \
    X(PFNGLVERTEXATTRIB4BVARBPROC, glVertexAttrib4bvARB) \
    X(PFNGLVERTEXATTRIB4IVARBPROC, glVertexAttrib4ivARB) \
    X(PFNGLVERTEXATTRIB4UBVARBPROC, glVertexAttrib4ubvARB) \
    X(PFNGLVERTEXATTRIB4USVARBPROC, glVertexAttrib4usvARB) \
    X(PFNGLVERTEXATTRIB4UIVARBPROC, glVertexAttrib4uivARB) \
    X(PFNGLVERTEXATTRIB4NUBARBPROC, glVertexAttrib4NubARB) \
    X(PFNGLVERTEXATTRIBPOINTERARBPROC, glVertexAttribPointerARB) \
    X(PFNGLENABLEVERTEXATTRIBARRAYARBPROC, glEnableVertexAttribArrayARB) \
    X(PFNGLDISABLEVERTEXATTRIBARRAYARBPROC, glDisableVertexAttribArrayARB) \
    X(PFNGLBINDATTRIBLOCATIONARBPROC, glBindAttribLocationARB) \
    X(PFNGLGETACTIVEATTRIBARBPROC, glGetActiveAttribARB) \
    X(PFNGLGETATTRIBLOCATIONARBPROC, glGetAttribLocationARB) \
    X(PFNGLGETVERTEXATTRIBDVARBPROC, glGetVertexAttribdvARB) \
    X(PFNGLGETVERTEXATTRIBFVARBPROC, glGetVertexAttribfvARB) \
    X(PFNGLGETVERTEXATTRIBIVARBPROC, glGetVertexAttribivARB) \
    X(PFNGLGETVERTEXATTRIBPOINTERVARBPROC, glGetVertexAttribPointervARB)

struct GlEntryPoints {
#define GL_ENTRY_POINT_FIELD(type, name) type name;
    GL_ENTRY_POINTS(GL_ENTRY_POINT_FIELD)
#undef GL_ENTRY_POINT_FIELD
};

extern GlEntryPoints gl_entry;

// Reads the driver's strings and limits, sets the flags and fetches every
// entry point; also sets byte alignment for pixel transfers and the
// renderer's capability switches. Needs a current context.
void load_gl_extensions(void);
// 1 when name occurs in the space-separated list as a whole word.
int gl_extension_in_list(const char *list, const char *name);
// The capability switches of the renderer from gl_info (framebuffer
// objects, generated mipmaps, shader programs); tests that clear a flag
// call it again.
void apply_gl_capabilities(void);
// 1 when an OpenGL context is current, so that GL objects can be made.
int gl_ready(void);
