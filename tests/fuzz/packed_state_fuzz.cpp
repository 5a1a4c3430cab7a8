// Fuzz target "packed_state": packed rider states as they arrive from the
// network or a demo, in both forms (39 bytes, and the older 26 bytes),
// decoded, unpacked onto a bike and applied to it on a small terrain with
// earlier and later records, and the bike then stepped.
#include "fuzz/fuzz_target.h"

#include "bike/bike_create.h"
#include "bike/bike_state.h"
#include "bike/packed_state.h"
#include "bike/physics_world.h"
#include "track/terrain.h"

#include <cstring>

static int run(const uint8_t *data, size_t size)
{
    FuzzSplit input = split_selector(data, size);
    int format = input.selector & 1 ? OLD_PACKED_STATE_FORMAT : 0;
    int record_size = format == OLD_PACKED_STATE_FORMAT ? OLD_PACKED_STATE_SIZE : PACKED_STATE_SIZE;
    // Three records (current, earlier, later), short ones padded with zeros.
    uint8_t records[3][PACKED_STATE_SIZE];
    memset(records, 0, sizeof records);
    for (int r = 0; r < 3; r++) {
        size_t from = (size_t)r * record_size;
        if (from < input.size)
            memcpy(records[r], input.data + from,
                   input.size - from < (size_t)record_size ? input.size - from : (size_t)record_size);
    }
    static Terrain terrain;
    make_small_terrain(&terrain);
    current_terrain = &terrain;
    PackedStateScale scale;
    scale.extent = terrain.extent;
    scale.low_height = terrain.min_height;
    scale.swingarm_travel = 0.5;
    scale.fork_travel = 1.0;
    RiderStateValues values;
    decode_rider_state(records[0], format, &scale, &values);

    if (create_physics_world()) {
        clear_bike_states();
        BikeState *bike = create_bike("cr125", 1, (input.selector & 2) != 0, "1", nullptr, nullptr, nullptr, nullptr);
        if (bike) {
            unpack_rider_state(bike, records[0], format);
            int tics = (input.selector >> 2) % 8;
            apply_rider_state(bike, records[0], records[1], records[2], tics, format);
            if (input.selector & 0x20)
                pull_bike_toward_state(bike, records[1], records[0], records[2], tics, format);
            uint8_t packed[PACKED_STATE_SIZE];
            pack_rider_state(bike, packed);
            step_physics_world();
            empty_contact_group();
        }
        for (BikeState &each : bike_states)
            free_bike(&each);
        destroy_physics_world();
    }
    current_terrain = nullptr;
    free_small_terrain(&terrain);
    reset_reader_state();
    return 0;
}

static void make_seeds(std::vector<FuzzSeed> *seeds)
{
    // Records packed from a bike standing on the terrain, in both forms.
    static Terrain terrain;
    make_small_terrain(&terrain);
    current_terrain = &terrain;
    if (create_physics_world()) {
        clear_bike_states();
        BikeState *bike = create_bike("cr125", 1, 1, "1", nullptr, nullptr, nullptr, nullptr);
        if (bike) {
            uint8_t packed[PACKED_STATE_SIZE];
            pack_rider_state(bike, packed);
            std::string record((const char *)packed, sizeof packed);
            seeds->push_back({"standing", std::string(1, '\x04') + record + record + record});
            seeds->push_back({"standing-pulled", std::string(1, '\x26') + record + record + record});
            std::string old = record.substr(0, OLD_PACKED_STATE_SIZE);
            seeds->push_back({"older-form", std::string(1, '\x05') + old + old + old});
        }
        for (BikeState &each : bike_states)
            free_bike(&each);
        destroy_physics_world();
    }
    current_terrain = nullptr;
    free_small_terrain(&terrain);
    seeds->push_back({"zeros", std::string(1, '\x0c') + std::string(3 * PACKED_STATE_SIZE, '\0')});
    seeds->push_back({"ones", std::string(1, '\x1e') + std::string(3 * PACKED_STATE_SIZE, '\xff')});
}

RUT_FUZZ_TARGET(packed_state, run, make_seeds);
