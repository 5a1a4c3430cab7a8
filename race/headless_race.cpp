// Races without a window.
#include "race/headless_race.h"

#include <cstdio>
#include <cstring>

#include "app/race_screens.h"
#include "bike/bike_setters.h"
#include "bike/physics_world.h"
#include "race/race_control.h"
#include "track/track.h"

int start_headless_race(const HeadlessRace *race)
{
    if (!create_physics_world())
        return 0;
    // Demos name their track by its catalogue folder.
    if (track_catalogue.count == 0)
        scan_track_catalogue();
    // A track written after the catalogue was scanned is found on a rescan.
    if (race->track && !select_track_folder(race->track)) {
        scan_track_catalogue();
        build_track_list();
        if (!select_track_folder(race->track))
            return 0;
    }
    return reset_race(race->time_trial ? nullptr : race->slot_codes, race->playback, race->record,
                      race->length_tics, race->laps, race->skill);
}

int is_scripted_rider(int slot)
{
    BikeState *bike = get_slot_bike(slot);
    if (!bike)
        return 0;
    if (rider_kind[slot] == RIDER_LOCAL)
        return 1;
    return rider_kind[slot] == RIDER_ROBOT && bike->personality == 0;
}

void apply_rider_controls(BikeState *bike, const RiderControls *c)
{
    set_steer(bike, c->steer);
    set_throttle(bike, c->throttle);
    set_front_brake(bike, c->front_brake);
    set_rear_brake(bike, c->rear_brake);
    shift_gear(bike, c->shift > 0.5f ? 1 : c->shift < -0.5f ? -1 : 0);
    set_clutch(bike, 1.0f - c->clutch_lever);   // the lever out: engaged
    set_dab(bike, c->dab);
    set_back_up(bike, c->back_up);
    set_lean(bike, c->lean);
}

void run_headless_tics(int tics, ScriptedControls controls, void *context)
{
    for (int i = 0; i < tics; i++) {
        if (controls)
            for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++) {
                if (!is_scripted_rider(slot))
                    continue;
                BikeState *bike = bike_slots[slot];
                RiderControls c;
                memset(&c, 0, sizeof c);
                controls(slot, bike, &c, context);
                apply_rider_controls(bike, &c);
            }
        race_tic();
    }
}
