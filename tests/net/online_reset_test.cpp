// The race reset of an online race, as the client's own-rider packet makes
// it: the local rider on the place the server gave it (a watching one at
// the first piece), the remote riders behind the first row in slot order
// passing over ours, and our rider as the server described it to everyone.
#include "net/client.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <string>

#include "bike/bike_getters.h"
#include "race/race_control.h"
#include "race/race_fixture.h"
#include "race/race_state.h"
#include "track/timing.h"

namespace {

struct OnlineReset : RaceWorld {
    void SetUp() override
    {
        RaceWorld::SetUp();
        scan_track_catalogue();
        // An open socket is what makes the race online; nothing is sent.
        net_socket = open_udp_socket();
        ASSERT_NE(net_socket, -1);
        snprintf(server_track, sizeof server_track, "%s", RACE_TRACK);
        server_start_tic = 1280;
    }
    void TearDown() override
    {
        close_socket(net_socket);
        net_socket = -1;
        RaceWorld::TearDown();
    }
};

// Where start place u of the track's gate puts its reference point.
void place_point(int u, float *x, float *z)
{
    int n = start_gate_count;
    const StartGatePiece &piece = start_gate_pieces[u % n];
    float d = ((float)(u / n) + 0.0625f) * 10.0f;
    *x = piece.x + sinf(piece.angle) * d;
    *z = piece.z + cosf(piece.angle) * d;
}

TEST_F(OnlineReset, RidersTakeDistinctPlacesAndOursIsTheServers)
{
    const int OWN = 2;
    struct Case {
        const char *name;
        int gate;                    // the place the server gave us, 160 = watching
        std::map<int, int> places;   // slot -> start place
    };
    // The fixture's gate has 8 pieces: the remote riders start at place 8.
    const Case cases[] = {
        {"ours in the first row", 1, {{0, 8}, {1, 9}, {OWN, 1}, {3, 10}, {5, 11}}},
        {"ours at the first remote place", 8, {{0, 9}, {1, 10}, {OWN, 8}, {3, 11}, {5, 12}}},
        {"ours among the remote places", 10, {{0, 8}, {1, 9}, {OWN, 10}, {3, 11}, {5, 12}}},
        {"watching: at the first piece", NET_NO_SLOT, {{0, 8}, {1, 9}, {OWN, 0}, {3, 10}, {5, 11}}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        int codes[BIKE_SLOT_COUNT] = {};
        for (const auto &[slot, place] : c.places) {
            codes[slot] = slot == OWN ? SLOT_PLAYER : SLOT_REMOTE;
            std::string info = "kx125||||\n" + std::to_string(40 + slot) + "\nNet " + std::to_string(slot);
            set_rider_slot_info(slot, info.c_str(), (int)info.size());
        }
        own_slot = OWN;
        local_gate_position = c.gate;
        ASSERT_TRUE(reset_race(codes, 0, 0, 0, 2, 0));
        ASSERT_EQ(start_gate_count, 8);

        // Same model and facing: each frame stands at the same offset from
        // its place's point.
        float ox = 0, oz = 0;
        int first = 1;
        for (const auto &[slot, place] : c.places) {
            BikeState *bike = get_slot_bike(slot);
            ASSERT_NE(bike, nullptr) << "slot " << slot;
            EXPECT_EQ(rider_kind[slot], slot == OWN ? RIDER_LOCAL : RIDER_REMOTE);
            float px, pz;
            place_point(place, &px, &pz);
            const dReal *p = dBodyGetPosition(bike->frame_body);
            float dx = (float)p[0] - px, dz = (float)p[2] - pz;
            if (first) {
                ox = dx;
                oz = dz;
                first = 0;
            }
            EXPECT_NEAR(dx, ox, 0.05f) << "slot " << slot << " at place " << place;
            EXPECT_NEAR(dz, oz, 0.05f) << "slot " << slot << " at place " << place;
        }
        // Our rider as the server told every client of it.
        BikeState *own = get_slot_bike(OWN);
        EXPECT_STREQ(get_rider_number_text(own), "42");
        EXPECT_STREQ(rider_names[OWN], "Net 2");
        EXPECT_STREQ(get_bike_model_name(own), "kx125") << "not the player's own setting";
    }
}

}   // namespace
