// The buttons of the bike setup screens and the order of their widgets,
// shared by their keys and their drawing.
#pragma once

#include "app/bike_setup.h"
#include "app/widgets.h"

enum { SUSPENSION_SLIDERS = 20, STABILITY_SLIDERS = 15, SETUP_SCREEN_SLIDERS = 4, SETUP_SCREEN_OPTIONS = 10 };

struct SetupScreenItems {
    MenuItem setup_back, suspension_button, stability_button;
    MenuItem suspension_back, stability_back;
};
extern SetupScreenItems setup_items;

// Items 11..14 and 15..24 of the Bike Setup screen.
extern Slider *const setup_screen_sliders[SETUP_SCREEN_SLIDERS];
extern OptionList *const setup_screen_options[SETUP_SCREEN_OPTIONS];
// Items 6..9 of the Bike Setup screen.
extern GraphicsChoices *const setup_screen_graphics[4];
// Items 1..20 of Suspension and Gearing and 1..15 of Advanced Stability.
extern Slider *const suspension_sliders[SUSPENSION_SLIDERS];
extern Slider *const stability_sliders[STABILITY_SLIDERS];

// The chooser's callback of the Bike list.
void choose_bike_result(int index);
