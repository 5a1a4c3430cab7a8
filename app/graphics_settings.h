// The renderer's settings derived from the graphics choices: what start-up
// sets from the menus' values after "@config" is read and before the
// command line overrides them.
#pragma once

// The graphics widgets' values the derived settings are made from.
struct GraphicsChoices {
    double ground_geometric_detail;   // "Ground Geometric Detail", 0..100
    double ground_texture_levels;     // "Ground Texture Levels", 0..10
    int ground_texture_resolution;    // "Ground Texture Resolution" choice, 0..5 (32..1024)
    double model_geometric_detail;    // "Model Geometric Detail", 0..100
    double model_texture_detail;      // "Model Texture Detail", 0..10
    int compress_textures;            // "Compress Textures" choice: No, Yes, Always
    double roost_density;             // "Roost Density", 0..1000
    int enable_reflections;           // "Enable Reflections" choice: No, Yes
};

// The values start-up writes into the widgets before "@config" is read.
extern const GraphicsChoices DEFAULT_GRAPHICS_CHOICES;

// Sets the terrain detail, ground texture detail and size, the models'
// level-of-detail scale and bias, texture detail and compression, the roost
// frequency and the reflections from the choices. A value out of its range
// (or not a number) is held to the range first.
void apply_graphics_choices(const GraphicsChoices *choices);
