// The GLSL text of the seven programs (GLSL 1.10 with the fixed-function
// built-ins). Every stage guards its normalisations, square roots and
// arc cosines so that degenerate vectors give zeros, never NaNs.
#include "render/shaders.h"

#define HEADER "#define MAX_BONE 32\n"
static_assert(MAX_BONE == 32, "the programs' bone arrays");

#define SAFE_MATH                                                         \
    "vec3 safe_normalize(vec3 v) { float l = length(v); return l > 0.0 ? v / l : v; }\n" \
    "vec2 safe_normalize2(vec2 v) { float l = length(v); return l > 0.0 ? v / l : v; }\n"

#define FOG                                                                              \
    "vec4 apply_fog(vec4 c) {\n"                                                          \
    "  float z = gl_FragCoord.z / gl_FragCoord.w;\n"                                      \
    "  float f = clamp(exp2(-1.4426950408889634 * gl_Fog.density * z), 0.0, 1.0);\n"      \
    "  c.rgb = mix(gl_Fog.color.rgb, c.rgb, f);\n"                                        \
    "  return c;\n"                                                                       \
    "}\n"

#define BONES                                                                              \
    "uniform int nbones;\n"                                                                \
    "uniform vec3 bone_c[MAX_BONE];\n"                                                     \
    "uniform vec3 bone_t[MAX_BONE];\n"                                                     \
    "uniform mat3 bone_r[MAX_BONE];\n"                                                     \
    "void skin(float w, float index, inout vec3 p, inout vec3 n, inout vec3 t) {\n"        \
    "  int b = int(clamp(index, 0.0, float(nbones - 1)));\n"                               \
    "  p += (bone_r[b] * (gl_Vertex.xyz - bone_c[b]) + bone_t[b]) * w;\n"                  \
    "  n += (bone_r[b] * gl_Normal) * w;\n"                                                \
    "  t += (bone_r[b] * gl_MultiTexCoord1.xyz) * w;\n"                                    \
    "}\n"

// The shared body of the vertex stages of slots 1..5: normal, viewer and
// (when TANGENT is used) tangent, plain or skinned.
#define POSE_BODY                                                                         \
    "  vec3 n; vec3 t; vec4 v;\n"                                                         \
    "  if (nbones == 0) {\n"                                                              \
    "    n = gl_NormalMatrix * gl_Normal;\n"                                              \
    "    t = gl_NormalMatrix * gl_MultiTexCoord1.xyz;\n"                                  \
    "    v = gl_ModelViewMatrix * gl_Vertex;\n"                                           \
    "    viewer = v.xyz / v.w;\n"                                                         \
    "    gl_Position = ftransform();\n"                                                   \
    "  } else {\n"                                                                        \
    "    vec3 p = vec3(0.0); vec3 ns = vec3(0.0); vec3 ts = vec3(0.0);\n"                 \
    "    skin(gl_MultiTexCoord2.x, gl_MultiTexCoord3.x, p, ns, ts);\n"                    \
    "    skin(gl_MultiTexCoord2.y, gl_MultiTexCoord3.y, p, ns, ts);\n"                    \
    "    skin(gl_MultiTexCoord2.z, gl_MultiTexCoord3.z, p, ns, ts);\n"                    \
    "    skin(gl_MultiTexCoord2.w, gl_MultiTexCoord3.w, p, ns, ts);\n"                    \
    "    viewer = (gl_ModelViewMatrix * vec4(p, 1.0)).xyz;\n"                             \
    "    n = gl_NormalMatrix * ns;\n"                                                     \
    "    t = gl_NormalMatrix * ts;\n"                                                     \
    "    gl_Position = gl_ModelViewProjectionMatrix * vec4(p, 1.0);\n"                    \
    "  }\n"                                                                               \
    "  normal = safe_normalize(n);\n"

#define LIGHTING_VARYINGS \
    "varying vec3 normal;\nvarying vec3 viewer;\nvarying vec3 light;\nvarying vec4 diffuse;\nvarying vec4 ambient;\n"

#define LIGHTING_SETUP                                                                      \
    "  light = safe_normalize(gl_LightSource[0].position.xyz);\n"                           \
    "  diffuse = gl_FrontMaterial.diffuse * gl_LightSource[0].diffuse;\n"                   \
    "  gl_TexCoord[0] = gl_MultiTexCoord0;\n"

#define MODEL_AMBIENT                                                                                  \
    "  ambient = gl_FrontMaterial.ambient * gl_LightSource[0].ambient + gl_LightModel.ambient * gl_FrontMaterial.ambient;\n" \
    "  ambient.a = min(ambient.a, 1.0);\n"

static const char LIT_VERTEX[] = HEADER SAFE_MATH BONES LIGHTING_VARYINGS
    "void main() {\n" POSE_BODY LIGHTING_SETUP MODEL_AMBIENT "}\n";

static const char NORM_LIT_VERTEX[] = HEADER SAFE_MATH BONES LIGHTING_VARYINGS
    "varying vec3 tangent;\n"
    "void main() {\n" POSE_BODY "  tangent = safe_normalize(t);\n" LIGHTING_SETUP MODEL_AMBIENT "}\n";

static const char ENV_VERTEX[] = HEADER SAFE_MATH BONES
    "varying vec3 normal;\nvarying vec3 viewer;\nvarying vec4 color;\n"
    "void main() {\n" POSE_BODY "  color = gl_Color;\n}\n";

static const char NORM_ENV_VERTEX[] = HEADER SAFE_MATH BONES
    "varying vec3 normal;\nvarying vec3 viewer;\nvarying vec4 color;\nvarying vec3 tangent;\n"
    "void main() {\n" POSE_BODY "  tangent = safe_normalize(t);\n  color = gl_Color;\n"
    "  gl_TexCoord[0] = gl_MultiTexCoord0;\n}\n";

// The lit fragment: n, ndl and rdl, then colour from ambient, diffuse and
// the texture; the caller adds the specular term and the fog.
#define LIT_TERMS                                                                       \
    "  float ndl = dot(n, light);\n"                                                    \
    "  float rdl = max(dot(reflect(safe_normalize(viewer), n), light), 0.0);\n"         \
    "  if (ndl < 0.0) { ndl = 0.0; rdl = 0.0; }\n"

#define NORMAL_MAP                                                                        \
    "  vec3 n0 = safe_normalize(normal);\n"                                               \
    "  vec3 t = safe_normalize(tangent - n0 * dot(n0, tangent));\n"                       \
    "  vec3 b = cross(n0, t);\n"                                                          \
    "  vec3 n = safe_normalize(mat3(t, b, n0) * (texture2D(nmap, gl_TexCoord[0].xy).rgb * 2.0 - 1.0));\n"

#define SHININESS "max(gl_FrontMaterial.shininess, 0.125)"

static const char LIT_FRAGMENT[] = HEADER SAFE_MATH FOG LIGHTING_VARYINGS
    "uniform sampler2D tex;\n"
    "void main() {\n"
    "  vec3 n = safe_normalize(normal);\n" LIT_TERMS
    "  vec4 c = vec4(ambient.rgb + diffuse.rgb * ndl, ambient.a);\n"
    "  c *= texture2D(tex, gl_TexCoord[0].xy);\n"
    "  c.rgb += gl_FrontMaterial.specular.rgb * gl_LightSource[0].specular.rgb * pow(rdl, " SHININESS ");\n"
    "  gl_FragColor = apply_fog(c);\n}\n";

static const char NORM_LIT_FRAGMENT[] = HEADER SAFE_MATH FOG LIGHTING_VARYINGS
    "varying vec3 tangent;\n"
    "uniform sampler2D tex;\nuniform sampler2D nmap;\n"
    "void main() {\n" NORMAL_MAP LIT_TERMS
    "  vec4 c = vec4(ambient.rgb + diffuse.rgb * ndl, ambient.a);\n"
    "  c *= texture2D(tex, gl_TexCoord[0].xy);\n"
    "  c.rgb += gl_FrontMaterial.specular.rgb * gl_LightSource[0].specular.rgb * pow(rdl, " SHININESS ");\n"
    "  gl_FragColor = apply_fog(c);\n}\n";

static const char NORM_SPEC_LIT_FRAGMENT[] = HEADER SAFE_MATH FOG LIGHTING_VARYINGS
    "varying vec3 tangent;\n"
    "uniform sampler2D tex;\nuniform sampler2D nmap;\nuniform sampler2D smap;\n"
    "void main() {\n" NORMAL_MAP LIT_TERMS
    "  vec4 c = vec4(ambient.rgb + diffuse.rgb * ndl, ambient.a);\n"
    "  c *= texture2D(tex, gl_TexCoord[0].xy);\n"
    "  vec4 s = texture2D(smap, gl_TexCoord[0].xy);\n"
    "  float e = s.a * 128.0 + 0.125;\n"
    "  if (e >= 127.875) e = " SHININESS ";\n"
    "  c.rgb += s.rgb * gl_LightSource[0].specular.rgb * pow(rdl, e);\n"
    "  gl_FragColor = apply_fog(c);\n}\n";

#define ENV_LOOKUP                                                                  \
    "  vec3 v = safe_normalize(envmat * r);\n"                                      \
    "  vec2 at = safe_normalize2(v.xz) * acos(clamp(v.y, -1.0, 1.0)) * 0.15915494309189535 + 0.5;\n" \
    "  gl_FragColor = texture2D(tex, at) * color;\n"

static const char ENV_FRAGMENT[] = HEADER SAFE_MATH
    "varying vec3 normal;\nvarying vec3 viewer;\nvarying vec4 color;\n"
    "uniform sampler2D tex;\nuniform mat3 envmat;\n"
    "void main() {\n"
    "  vec3 r = reflect(viewer, safe_normalize(normal));\n" ENV_LOOKUP "}\n";

static const char NORM_ENV_FRAGMENT[] = HEADER SAFE_MATH
    "varying vec3 normal;\nvarying vec3 viewer;\nvarying vec4 color;\nvarying vec3 tangent;\n"
    "uniform sampler2D tex;\nuniform sampler2D nmap;\nuniform mat3 envmat;\n"
    "void main() {\n" NORMAL_MAP
    "  vec3 r = reflect(viewer, n);\n" ENV_LOOKUP "}\n";

static const char TERRAIN_NORMALS_VERTEX[] = HEADER
    "varying vec2 tc;\n"
    "void main() {\n"
    "  vec4 q = gl_TextureMatrix[1] * gl_Vertex;\n"
    "  tc = q.xy / q.w;\n"
    "  gl_TexCoord[0] = gl_MultiTexCoord0;\n"
    "  gl_Position = ftransform();\n}\n";

static const char TERRAIN_NORMALS_FRAGMENT[] = HEADER SAFE_MATH
    "varying vec2 tc;\n"
    "uniform sampler2D tex;\nuniform sampler2D base;\n"
    "void main() {\n"
    "  float s = gl_TexCoord[0].s;\n"
    "  vec2 c0 = safe_normalize2(vec2(dFdx(s), -dFdy(s)));\n"
    "  mat2 m = mat2(c0, vec2(-c0.y, c0.x));\n"
    "  vec4 colour = texture2D(tex, gl_TexCoord[0].xy);\n"
    "  vec3 n = colour.xzy * 2.0 - 1.0;\n"
    "  n.x = -n.x;\n"
    "  n.xz = n.xz * m;\n"
    "  vec4 bt = texture2D(base, tc);\n"
    "  vec3 r1 = bt.rgb * 2.0 - 1.0;\n"
    "  r1.y = sqrt(max(1.0 - r1.z * r1.z - r1.x * r1.x, 0.0));\n"
    "  vec3 r0 = vec3(1.0, 0.0, 0.0);\n"
    "  vec3 r2 = safe_normalize(cross(r0, r1));\n"
    "  r0 = safe_normalize(cross(r1, r2));\n"
    "  n = safe_normalize(mat3(r0, r1, r2) * n);\n"
    "  if (n.x * n.x + n.z * n.z > 0.96899414) {\n"   // (126/128)^2
    "    n.y = 0.0;\n"
    "    n = safe_normalize(n) * 0.984375;\n"
    "  }\n"
    "  gl_FragColor = vec4((n.x + 1.0) * 0.5, bt.g, (n.z + 1.0) * 0.5, colour.a);\n}\n";

static const char TERRAIN_VERTEX[] = HEADER SAFE_MATH LIGHTING_VARYINGS
    "void main() {\n"
    "  normal = safe_normalize(gl_NormalMatrix * gl_Normal);\n"
    "  vec4 v = gl_ModelViewMatrix * gl_Vertex;\n"
    "  viewer = v.xyz / v.w;\n"
    "  gl_Position = ftransform();\n" LIGHTING_SETUP
    "  ambient = gl_FrontMaterial.ambient * gl_LightSource[0].ambient;\n"
    "  ambient.a = min(ambient.a, 1.0);\n}\n";

static const char TERRAIN_FRAGMENT[] = HEADER SAFE_MATH FOG LIGHTING_VARYINGS
    "uniform sampler2D tex;\nuniform sampler2D nmap;\nuniform sampler2D smap;\n"
    "void main() {\n"
    "  vec3 N = texture2D(nmap, gl_TexCoord[0].xy).rgb;\n"
    "  float len = N.g;\n"
    "  vec3 n = N * 2.0 - 1.0;\n"
    "  n.y = sqrt(max(1.0 - n.z * n.z - n.x * n.x, 0.0));\n"
    "  n = safe_normalize(gl_NormalMatrix * n);\n" LIT_TERMS
    "  vec4 c = vec4(ambient.rgb + diffuse.rgb * ndl * len, ambient.a);\n"
    "  c *= texture2D(tex, gl_TexCoord[0].xy);\n"
    "  vec4 s = texture2D(smap, gl_TexCoord[0].xy);\n"
    "  c.rgb += s.r * gl_LightSource[0].specular.rgb * pow(rdl, s.g * 128.0 + 0.125) * len;\n"
    "  gl_FragColor = apply_fog(c);\n}\n";

struct ShaderSource {
    const char *name;
    const char *vertex;
    const char *fragment;
};

static const ShaderSource shader_sources[SHADER_SLOT_COUNT] = {
    {"fixed", nullptr, nullptr},
    {"lit", LIT_VERTEX, LIT_FRAGMENT},
    {"env", ENV_VERTEX, ENV_FRAGMENT},
    {"norm_lit", NORM_LIT_VERTEX, NORM_LIT_FRAGMENT},
    {"norm_env", NORM_ENV_VERTEX, NORM_ENV_FRAGMENT},
    {"norm_spec_lit", NORM_LIT_VERTEX, NORM_SPEC_LIT_FRAGMENT},
    {"terrain_normals", TERRAIN_NORMALS_VERTEX, TERRAIN_NORMALS_FRAGMENT},
    {"terrain", TERRAIN_VERTEX, TERRAIN_FRAGMENT},
};

const char *shader_vertex_source(int slot)
{
    return slot > 0 && slot < SHADER_SLOT_COUNT ? shader_sources[slot].vertex : nullptr;
}

const char *shader_fragment_source(int slot)
{
    return slot > 0 && slot < SHADER_SLOT_COUNT ? shader_sources[slot].fragment : nullptr;
}

const char *shader_slot_name(int slot)
{
    return slot >= 0 && slot < SHADER_SLOT_COUNT ? shader_sources[slot].name : nullptr;
}
