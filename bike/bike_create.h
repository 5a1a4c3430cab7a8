// Creating a bike and its rider in a slot (seven bodies, six joints, part
// meshes and skins, the number plate, private collision shapes, the timing
// arrays and the default setup) and taking it apart again.
#pragma once

#include "bike/bike_state.h"

// The slot's record with a new bike at its rest pose (also entered in
// bike_slots), or null for a slot outside 0..159 or without a physics world. Texture names may be null
// (the model's own skins are used); an unknown model name falls back with
// a message.
BikeState *create_bike(const char *model_name, int slot, int simulated, const char *number,
                       const char *rider_texture, const char *helmet_texture,
                       const char *bike_texture, const char *wheel_texture);
// Asks the textures and meshes such a bike loads to be loaded ahead (see
// render/load_ahead.h); an unknown model name asks nothing.
void ask_bike_ahead(const char *model_name, const char *rider_texture, const char *helmet_texture,
                    const char *bike_texture, const char *wheel_texture);
// Destroys the joints and bodies, frees the timing arrays and the private
// shapes, deletes the number plate and empties the bike's slot. Safe on a
// record without a bike.
void free_bike(BikeState *bike);

// The mesh name of a skin variant: "@cr125_frame.jm" with the skin
// "cr125-red-2.png" and ".jm" gives "@cr125_frame-red.jm". Newly allocated
// (checked_free), or null when either name has no variant part.
char *model_name_for_skin(const char *mesh, const char *skin, const char *extension);
Model *load_part_model(const char *mesh, const char *skin, int warn);
void find_normal_spec_maps(int *normal_map, int *specular_map, const char *skin,
                           const char *default_skin);
// The number plate's colours from a bike texture's info text.
void read_number_plate_colours(const char *info, uint8_t *background, uint8_t *foreground);
