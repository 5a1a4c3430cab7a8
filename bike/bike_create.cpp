// Creating and freeing bikes and riders.
#include "bike/bike_create.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "bike/bike_pose.h"
#include "bike/bike_setters.h"
#include "bike/physics_world.h"
#include "bike/shape.h"
#include "render/image.h"
#include "render/load_ahead.h"
#include "core/alloc.h"
#include "core/message.h"
#include "platform/log.h"
#include "render/model.h"
#include "render/render_settings.h"
#include "render/texture.h"

namespace {

const int NUMBER_PLATE_SIZE = 128;
const long NUMBER_PLATE_BYTES = 87381;   // 128 x 128 RGB with its mip levels

char *copy_text(const char *text, size_t length)
{
    char *copy = (char *)xmalloc(length + 1);
    memcpy(copy, text, length);
    copy[length] = 0;
    return copy;
}

// The part of a path after its last '/'.
const char *base_name(const char *path)
{
    const char *slash = strrchr(path, '/');
    return slash ? slash + 1 : path;
}

void warn_missing(const char *name)
{
    char text[1024];
    snprintf(text, sizeof text, "Warning: Can't load %.900s", name);
    print_message(text);
}

// The first of the name with its extension replaced by the suffixes that
// loads as a texture, or 0.
int load_companion(const char *name, const char *const *suffixes)
{
    const char *dot = strrchr(name, '.');
    if (!dot)
        return 0;
    for (int i = 0; i < 3; i++) {
        char *candidate = replace_suffix(name, dot, suffixes[i]);
        if (!candidate)
            continue;
        int texture = load_texture(candidate);
        checked_free(candidate);
        if (texture)
            return texture;
    }
    return 0;
}

void find_maps_for(int *normal_map, int *specular_map, const char *name)
{
    static const char *const normal_suffixes[3] = {"_norm.seq", "_norm.png", "_norm.ppm"};
    static const char *const specular_suffixes[3] = {"_spec.seq", "_spec.png", "_spec.ppm"};
    if (!name)
        return;
    if (!*normal_map)
        *normal_map = load_companion(name, normal_suffixes);
    if (!*specular_map)
        *specular_map = load_companion(name, specular_suffixes);
}

// One colour tag of a texture's info text: "[tag" followed by "r,g,b",
// each clamped to 0..1 and scaled to a byte. Fewer than three numbers
// leave the colour as it was.
void read_colour_tag(const char *info, const char *tag, uint8_t *colour)
{
    const char *found = info ? strstr(info, tag) : nullptr;
    if (!found)
        return;
    float rgb[3];
    if (sscanf(found + strlen(tag), "%f,%f,%f", &rgb[0], &rgb[1], &rgb[2]) != 3)
        return;
    for (int i = 0; i < 3; i++) {
        float v = std::isnan(rgb[i]) ? 0.0f : rgb[i] < 0.0f ? 0.0f : rgb[i] > 1.0f ? 1.0f : rgb[i];
        colour[i] = (uint8_t)(v * 255.0f);
    }
}

// Everything the meshes and skins of a bike are loaded with: the skin
// names in use for the four groups.
struct SkinNames {
    const char *bike;
    const char *wheels;
    const char *rider;
    const char *helmet;
};

void load_bike_meshes(BikeState *bike, const BikeModel *m, const char *skin)
{
    bike->frame_model = load_part_model(m->part_files[PART_FRAME_MESH], skin, 1);
    bike->side_plates_model = load_part_model(m->part_files[PART_SIDE_PLATES_MESH], skin, 1);
    bike->fork_upper_model = load_part_model(m->part_files[PART_FORK_UPPER_MESH], skin, 1);
    bike->front_plate_model = load_part_model(m->part_files[PART_FRONT_PLATE_MESH], skin, 1);
    bike->fork_lower_model = load_part_model(m->part_files[PART_FORK_LOWER_MESH], skin, 1);
    bike->swingarm_model = load_part_model(m->part_files[PART_SWINGARM_MESH], skin, 1);
}

void load_wheel_meshes(BikeState *bike, const BikeModel *m, const char *skin)
{
    bike->front_wheel_model = load_part_model(m->part_files[PART_FRONT_WHEEL_MESH], skin, 1);
    bike->rear_wheel_model = load_part_model(m->part_files[PART_REAR_WHEEL_MESH], skin, 1);
}

void load_rider_meshes(BikeState *bike, const BikeModel *m, const char *skin)
{
    bike->rider_plate_model = load_part_model(m->part_files[PART_RIDER_PLATE_MESH], skin, 0);
    bike->rider_body_model = load_part_model(m->part_files[PART_RIDER_BODY_MESH], skin, 1);
    bike->rider_body_fp_model = load_part_model(m->part_files[PART_RIDER_BODY_FP_MESH], skin, 0);
}

void load_helmet_mesh(BikeState *bike, const BikeModel *m, const char *skin)
{
    bike->helmet_model = load_part_model(m->part_files[PART_HELMET_MESH], skin, 1);
}

int load_skin(const char *name)
{
    return name ? load_texture(name) : 0;
}

// Skins and meshes, each group falling back to the model's own skin.
void load_parts(BikeState *bike, const BikeModel *m, SkinNames *skins)
{
    bike->bike_texture = load_skin(skins->bike);
    bike->wheel_texture = load_skin(skins->wheels);
    bike->rider_texture = load_skin(skins->rider);
    bike->helmet_texture = load_skin(skins->helmet);

    load_bike_meshes(bike, m, skins->bike);
    load_wheel_meshes(bike, m, skins->wheels);
    load_rider_meshes(bike, m, skins->rider);
    load_helmet_mesh(bike, m, skins->helmet);

    if (!bike->bike_texture || !bike->frame_model) {
        skins->bike = m->part_files[PART_BIKE_TEXTURE];
        bike->bike_texture = load_texture(skins->bike);
        load_bike_meshes(bike, m, skins->bike);
    }
    if (!bike->wheel_texture || !bike->front_wheel_model || !bike->rear_wheel_model) {
        skins->wheels = m->part_files[PART_WHEEL_TEXTURE];
        bike->wheel_texture = load_texture(skins->wheels);
        load_wheel_meshes(bike, m, skins->wheels);
    }
    if (!bike->rider_texture || !bike->rider_body_model) {
        skins->rider = m->part_files[PART_RIDER_TEXTURE];
        bike->rider_texture = load_texture(skins->rider);
        load_rider_meshes(bike, m, skins->rider);
    }
    if (!bike->helmet_texture || !bike->helmet_model) {
        skins->helmet = m->part_files[PART_HELMET_TEXTURE];
        bike->helmet_texture = load_texture(skins->helmet);
        load_helmet_mesh(bike, m, skins->helmet);
    }
}

void make_number_plate(BikeState *bike, const char *number)
{
    uint8_t background[3] = {255, 255, 255};
    uint8_t foreground[3] = {0, 0, 0};
    read_number_plate_colours(bike->bike_texture ? get_texture_info(bike->bike_texture) : nullptr,
                              background, foreground);
    snprintf(bike->rider_number, sizeof bike->rider_number, "%.7s", number ? number : "");
    bike->number_plate_texture = make_text_texture(bike->rider_number, NUMBER_PLATE_SIZE,
                                                   NUMBER_PLATE_SIZE, foreground, background);
}

void set_wheel_mass(dBodyID body, const WheelSpec *wheel)
{
    dMass mass, ball;
    dMassSetSphereTotal(&mass, wheel->hub_mass, wheel->hub_radius);
    dMassSetSphereTotal(&ball, wheel->ring_mass / 16.0, wheel->tyre_radius);
    dMassTranslate(&ball, 0, wheel->rim_radius, 0);
    dMatrix3 turn;
    dRFromAxisAndAngle(turn, 1, 0, 0, 0.39269908);
    for (int i = 0; i < 16; i++) {
        dMassAdd(&mass, &ball);
        dMassRotate(&ball, turn);
    }
    set_body_mass_centred(body, &mass);
}

// Two fork legs beside each other along the steering axis.
void make_fork_mass(dMass *mass, const BikeModel *m)
{
    dMass leg;
    dMassSetZero(mass);
    for (int side = -1; side <= 1; side += 2) {
        dMassSetCylinderTotal(&leg, m->fork_mass / 2.0, 2, m->fork_leg_spacing / 8.0,
                              m->fork_leg_length * 2.0 / 3.0);
        dMassTranslate(&leg, side * m->fork_leg_spacing / 2.0, 0, 0);
        dMassAdd(mass, &leg);
    }
    double dy = (double)m->fork_lower_position[1] - m->fork_upper_position[1];
    double dz = (double)m->fork_lower_position[2] - m->fork_upper_position[2];
    dMatrix3 turn;
    dRFromAxisAndAngle(turn, 1, 0, 0, std::atan(dz / dy));
    dMassRotate(mass, turn);
}

// Two boxes from the pivot to the rear axle, one each side.
void make_swingarm_mass(dMass *mass, const BikeModel *m)
{
    double w = m->frame_size[0];
    double d[3];
    for (int i = 0; i < 3; i++)
        d[i] = (double)m->rear_wheel.position[i] - m->swingarm_pivot[i];
    double length = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
    dMass half;
    dMassSetZero(mass);
    for (int side = -1; side <= 1; side += 2) {
        dMassSetBoxTotal(&half, m->swingarm_half_mass, w / 4.0, w / 4.0, length);
        dMassTranslate(&half, side * w / 2.0, 0, 0);
        dMassAdd(mass, &half);
    }
    dMatrix3 turn;
    dRFromAxisAndAngle(turn, 1, 0, 0, -std::atan(d[1] / d[2]));
    dMassRotate(mass, turn);
}

void create_bodies(BikeState *bike, const BikeModel *m)
{
    bike->frame_body = create_counted_body();
    bike->front_wheel_body = create_counted_body();
    bike->rear_wheel_body = create_counted_body();
    bike->fork_upper_body = create_counted_body();
    bike->fork_lower_body = create_counted_body();
    bike->swingarm_body = create_counted_body();
    bike->rider_body = create_counted_body();
    dBodySetFiniteRotationMode(bike->front_wheel_body, 1);
    dBodySetFiniteRotationMode(bike->rear_wheel_body, 1);

    // Rest positions, identity orientations, nothing moving (the same as
    // a reset does).
    reset_bike(bike);

    dMass mass;
    dMassSetBoxTotal(&mass, m->frame_mass + m->rider_mass * 2.0 / 3.0, m->frame_size[0],
                     m->frame_size[1], m->frame_size[2]);
    set_body_mass_centred(bike->frame_body, &mass);
    dMassSetSphereTotal(&mass, m->rider_mass / 3.0, 1.0);
    set_body_mass_centred(bike->rider_body, &mass);
    set_wheel_mass(bike->front_wheel_body, &m->front_wheel);
    set_wheel_mass(bike->rear_wheel_body, &m->rear_wheel);
    make_fork_mass(&mass, m);
    set_body_mass_centred(bike->fork_upper_body, &mass);
    make_fork_mass(&mass, m);
    set_body_mass_centred(bike->fork_lower_body, &mass);
    make_swingarm_mass(&mass, m);
    set_body_mass_centred(bike->swingarm_body, &mass);
}

void init_wheel_contact(WheelContact *contact, dBodyID body, const WheelSpec *wheel)
{
    memset(contact, 0, sizeof *contact);
    contact->body = body;
    contact->axle[0] = 1.0f;
    contact->rim_radius = wheel->rim_radius;
    contact->tyre_radius = wheel->tyre_radius;
}

void create_joints(BikeState *bike, const BikeModel *m)
{
    bike->front_axle_joint = create_counted_hinge();
    bike->rear_axle_joint = create_counted_hinge();
    bike->steering_joint = create_counted_hinge();
    bike->fork_joint = create_counted_slider();
    bike->swingarm_joint = create_counted_hinge();
    bike->rider_joint = create_counted_hinge2();

    const float *front = m->front_wheel.position;
    const float *rear = m->rear_wheel.position;
    const float *upper = m->fork_upper_position;
    const float *lower = m->fork_lower_position;
    const float *pivot = m->swingarm_pivot;
    double steer_axis[3] = {(double)upper[0] - lower[0], (double)upper[1] - lower[1],
                            (double)upper[2] - lower[2]};

    dJointAttach(bike->front_axle_joint, bike->fork_lower_body, bike->front_wheel_body);
    dJointSetHingeAnchor(bike->front_axle_joint, front[0], front[1], front[2]);
    dJointSetHingeAxis(bike->front_axle_joint, 1, 0, 0);

    dJointAttach(bike->rear_axle_joint, bike->swingarm_body, bike->rear_wheel_body);
    dJointSetHingeAnchor(bike->rear_axle_joint, rear[0], rear[1], rear[2]);
    dJointSetHingeAxis(bike->rear_axle_joint, 1, 0, 0);

    dJointAttach(bike->steering_joint, bike->fork_upper_body, bike->frame_body);
    dJointSetHingeAnchor(bike->steering_joint, upper[0], upper[1], upper[2]);
    dJointSetHingeAxis(bike->steering_joint, steer_axis[0], steer_axis[1], steer_axis[2]);
    dJointSetHingeParam(bike->steering_joint, dParamLoStop, -M_PI / 4);
    dJointSetHingeParam(bike->steering_joint, dParamHiStop, M_PI / 4);

    dJointAttach(bike->fork_joint, bike->fork_upper_body, bike->fork_lower_body);
    dJointSetSliderAxis(bike->fork_joint, steer_axis[0], steer_axis[1], steer_axis[2]);
    dJointSetSliderParam(bike->fork_joint, dParamBounce, 0);
    dJointSetSliderParam(bike->fork_joint, dParamLoStop, -m->fork_travel);
    dJointSetSliderParam(bike->fork_joint, dParamHiStop, SUSPENSION_STOP_SLACK);

    dJointAttach(bike->swingarm_joint, bike->swingarm_body, bike->frame_body);
    dJointSetHingeAnchor(bike->swingarm_joint, pivot[0], pivot[1], pivot[2]);
    dJointSetHingeAxis(bike->swingarm_joint, 1, 0, 0);
    dJointSetHingeParam(bike->swingarm_joint, dParamBounce, 0);
    dJointSetHingeParam(bike->swingarm_joint, dParamLoStop, -get_swingarm_travel(m));
    dJointSetHingeParam(bike->swingarm_joint, dParamHiStop, SUSPENSION_STOP_SLACK);

    dJointAttach(bike->rider_joint, bike->rider_body, bike->frame_body);
    dJointSetHinge2Anchor(bike->rider_joint, 0, m->rider_position[1], -50);
    const dReal axis1[3] = {0, 1, 1};
    const dReal axis2[3] = {1, 0, 0};
    dJointSetHinge2Axes(bike->rider_joint, axis1, axis2);
    dJointSetHinge2Param(bike->rider_joint, dParamLoStop, 0);
    dJointSetHinge2Param(bike->rider_joint, dParamHiStop, 0);

    dJointID joints[BIKE_JOINT_COUNT] = {bike->front_axle_joint, bike->rear_axle_joint,
                                         bike->steering_joint, bike->fork_joint,
                                         bike->swingarm_joint, bike->rider_joint};
    for (int i = 0; i < BIKE_JOINT_COUNT; i++)
        dJointSetFeedback(joints[i], &bike->feedback[i]);
}

void init_array(GrowableArray *array, int element_size)
{
    if (!init_growable_array(array, element_size))
        fatal_out_of_memory();
}

}  // namespace

char *model_name_for_skin(const char *mesh, const char *skin, const char *extension)
{
    if (!mesh || !skin)
        return nullptr;
    const char *cut = strchr(base_name(mesh), '-');
    if (!cut) {
        cut = strrchr(mesh, '.');
        if (!cut || strchr(cut, '/'))
            return nullptr;
    }
    const char *first = strchr(base_name(skin), '-');
    const char *second = first ? strchr(first + 1, '-') : nullptr;
    if (!second)
        return nullptr;
    size_t head = (size_t)(cut - mesh);
    size_t middle = (size_t)(second - first);
    size_t tail = strlen(extension);
    char *name = (char *)xmalloc(head + middle + tail + 1);
    memcpy(name, mesh, head);
    memcpy(name + head, first, middle);
    memcpy(name + head + middle, extension, tail + 1);
    return name;
}

Model *load_part_model(const char *mesh, const char *skin, int warn)
{
    char *variant = skin ? model_name_for_skin(mesh, skin, ".jm") : nullptr;
    if (!variant) {
        Model *model = load_model(mesh);
        if (!model && warn)
            warn_missing(mesh);
        return model;
    }
    Model *model = load_model(variant);
    if (!model) {
        const char *skin_slash = strrchr(skin, '/');
        if (skin_slash) {
            const char *base = strchr(variant, '/') ? base_name(variant)
                                                    : variant + (variant[0] == '@');
            char *folder = copy_text(skin, (size_t)(skin_slash + 1 - skin));
            size_t size = strlen(folder) + strlen(base) + 1;
            char *second = (char *)xmalloc(size);
            snprintf(second, size, "%s%s", folder, base);
            model = load_model(second);
            if (!model && warn) {
                char text[1024];
                snprintf(text, sizeof text, "Warning: Can't load %.450s or %.450s", variant, second);
                print_message(text);
            }
            checked_free(second);
            checked_free(folder);
        } else if (warn) {
            warn_missing(variant);
        }
    }
    checked_free(variant);
    return model;
}

// The meshes of a part group as load_part_model names them for the skin.
static void ask_meshes_ahead(const BikeModel *m, const int *parts, int count, const char *skin)
{
    for (int i = 0; i < count; i++) {
        const char *mesh = m->part_files[parts[i]];
        char *variant = skin ? model_name_for_skin(mesh, skin, ".jm") : nullptr;
        ask_model_ahead(variant ? variant : mesh);
        checked_free(variant);
    }
}

void ask_bike_ahead(const char *model_name, const char *rider_texture, const char *helmet_texture,
                    const char *bike_texture, const char *wheel_texture)
{
    const BikeModel *m = find_bike_model(model_name);
    if (!m)
        return;
    static const int BIKE_PARTS[6] = {PART_FRAME_MESH, PART_SIDE_PLATES_MESH, PART_FORK_UPPER_MESH,
                                      PART_FRONT_PLATE_MESH, PART_FORK_LOWER_MESH, PART_SWINGARM_MESH};
    static const int WHEEL_PARTS[2] = {PART_FRONT_WHEEL_MESH, PART_REAR_WHEEL_MESH};
    static const int RIDER_PARTS[3] = {PART_RIDER_PLATE_MESH, PART_RIDER_BODY_MESH, PART_RIDER_BODY_FP_MESH};
    static const int HELMET_PARTS[1] = {PART_HELMET_MESH};
    const struct {
        const char *skin;
        int own_skin;
        const int *parts;
        int count;
    } groups[4] = {{bike_texture, PART_BIKE_TEXTURE, BIKE_PARTS, 6},
                   {wheel_texture, PART_WHEEL_TEXTURE, WHEEL_PARTS, 2},
                   {rider_texture, PART_RIDER_TEXTURE, RIDER_PARTS, 3},
                   {helmet_texture, PART_HELMET_TEXTURE, HELMET_PARTS, 1}};
    // As load_parts: the skin given, and without one the plain meshes and
    // then the model's own skin with its meshes.
    for (const auto &group : groups) {
        ask_texture_ahead(group.skin);
        ask_meshes_ahead(m, group.parts, group.count, group.skin);
        if (!group.skin) {
            const char *own = m->part_files[group.own_skin];
            ask_texture_ahead(own);
            ask_meshes_ahead(m, group.parts, group.count, own);
        }
    }
}

void find_normal_spec_maps(int *normal_map, int *specular_map, const char *skin,
                           const char *default_skin)
{
    *normal_map = 0;
    *specular_map = 0;
    if (!normal_mapping_enabled || !skin)
        return;
    find_maps_for(normal_map, specular_map, skin);
    if (*normal_map && *specular_map)
        return;
    char *own = model_name_for_skin(skin, skin, ".foo");
    find_maps_for(normal_map, specular_map, own);
    checked_free(own);
    if (*normal_map && *specular_map)
        return;
    char *from_default = model_name_for_skin(default_skin, skin, ".foo");
    find_maps_for(normal_map, specular_map, from_default);
    checked_free(from_default);
}

void read_number_plate_colours(const char *info, uint8_t *background, uint8_t *foreground)
{
    read_colour_tag(info, "[numberbackground:", background);
    read_colour_tag(info, "[numberforeground:", foreground);
}

BikeState *create_bike(const char *model_name, int slot, int simulated, const char *number,
                       const char *rider_texture, const char *helmet_texture,
                       const char *bike_texture, const char *wheel_texture)
{
    if ((unsigned)slot >= BIKE_SLOT_COUNT)
        return nullptr;
    if (!physics_world) {
        log_printf("Can't create a bike without a physics world\n");
        return nullptr;
    }
    BikeState *bike = &bike_states[slot];
    free_bike(bike);   // a bike left in the slot would leak its bodies
    memset(bike, 0, sizeof *bike);

    int index = find_bike_model_or_fallback(model_name);
    const BikeModel *m = &bike_models[index];
    bike->model_index = index;

    bike->frame_shape = clone_shape(m->part_files[PART_FRAME_SHAPE]);
    bike->fork_upper_shape = clone_shape(m->part_files[PART_FORK_UPPER_SHAPE]);
    bike->fork_lower_shape = clone_shape(m->part_files[PART_FORK_LOWER_SHAPE]);
    bike->swingarm_shape = clone_shape(m->part_files[PART_SWINGARM_SHAPE]);
    bike->rider_shape = clone_shape(m->part_files[PART_RIDER_SHAPE]);
    bike->front_wheel_shape = clone_shape(m->part_files[PART_FRONT_WHEEL_SHAPE]);
    bike->rear_wheel_shape = clone_shape(m->part_files[PART_REAR_WHEEL_SHAPE]);

    SkinNames skins = {bike_texture, wheel_texture, rider_texture, helmet_texture};
    load_parts(bike, m, &skins);
    make_number_plate(bike, number);
    find_normal_spec_maps(&bike->bike_normal_map, &bike->bike_specular_map, skins.bike,
                          m->part_files[PART_BIKE_TEXTURE]);
    find_normal_spec_maps(&bike->wheel_normal_map, &bike->wheel_specular_map, skins.wheels,
                          m->part_files[PART_WHEEL_TEXTURE]);
    find_normal_spec_maps(&bike->rider_normal_map, &bike->rider_specular_map, skins.rider,
                          m->part_files[PART_RIDER_TEXTURE]);
    find_normal_spec_maps(&bike->helmet_normal_map, &bike->helmet_specular_map, skins.helmet,
                          m->part_files[PART_HELMET_TEXTURE]);

    create_bodies(bike, m);
    init_wheel_contact(&bike->front_contact, bike->front_wheel_body, &m->front_wheel);
    init_wheel_contact(&bike->rear_contact, bike->rear_wheel_body, &m->rear_wheel);
    create_joints(bike, m);

    init_array(&bike->gate_times, 4);
    init_array(&bike->lap_buffers[0], LINE_POINT_SIZE);
    init_array(&bike->lap_buffers[1], LINE_POINT_SIZE);
    init_array(&bike->own_line, LINE_POINT_SIZE);

    apply_default_setup(bike);
    dBodyID bodies[BIKE_BODY_COUNT];
    get_bike_bodies(bike, bodies);
    float total = 0.0f;
    for (dBodyID body : bodies) {
        dMass mass;
        dBodyGetMass(body, &mass);
        total += (float)mass.mass;
    }
    bike->total_mass = total;

    reset_bike(bike);
    bike->slot = slot;
    bike->bike_flags = (uint8_t)((bike->bike_flags & ~BIKE_FLAG_SIMULATED) |
                                 (simulated ? BIKE_FLAG_SIMULATED : 0));
    bike_slots[slot] = bike;
    return bike;
}

void free_bike(BikeState *bike)
{
    if ((unsigned)bike->slot < BIKE_SLOT_COUNT && bike_slots[bike->slot] == bike)
        bike_slots[bike->slot] = nullptr;
    dJointID *joints[BIKE_JOINT_COUNT] = {&bike->front_axle_joint, &bike->rear_axle_joint,
                                          &bike->steering_joint, &bike->fork_joint,
                                          &bike->swingarm_joint, &bike->rider_joint};
    for (dJointID *joint : joints) {
        destroy_counted_joint(*joint);
        *joint = nullptr;
    }
    dBodyID *bodies[BIKE_BODY_COUNT] = {&bike->frame_body, &bike->front_wheel_body,
                                        &bike->rear_wheel_body, &bike->fork_upper_body,
                                        &bike->fork_lower_body, &bike->swingarm_body,
                                        &bike->rider_body};
    for (dBodyID *body : bodies) {
        destroy_counted_body(*body);
        *body = nullptr;
    }
    bike->front_contact.body = nullptr;
    bike->rear_contact.body = nullptr;

    free_growable_array(&bike->gate_times);
    free_growable_array(&bike->lap_buffers[0]);
    free_growable_array(&bike->lap_buffers[1]);
    free_growable_array(&bike->own_line);

    CollisionShape **shapes[7] = {&bike->frame_shape, &bike->fork_upper_shape,
                                  &bike->fork_lower_shape, &bike->swingarm_shape,
                                  &bike->rider_shape, &bike->front_wheel_shape,
                                  &bike->rear_wheel_shape};
    for (CollisionShape **shape : shapes) {
        checked_free(*shape);
        *shape = nullptr;
    }

    // Only a plate that was made is counted out of the texture memory.
    if (bike->number_plate_texture) {
        delete_texture(bike->number_plate_texture);
        texture_memory_used -= NUMBER_PLATE_BYTES;
        bike->number_plate_texture = 0;
    }
}
