// The lap fixture: a lap layout set by hand (F first-lap gates, P gates per
// lap, every entry a timing gate) and riders made as bare bike records with
// a gate-time list, no physics.
#pragma once

#include "bike/bike_models.h"
#include "bike/bike_state.h"
#include "net/client.h"
#include "race/gates.h"
#include "race/history.h"
#include "race/race_control.h"
#include "race/race_state.h"
#include "race/results.h"
#include "race/series.h"
#include "track/timing.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <vector>

struct LapFixture : testing::Test {
    void SetUp() override
    {
        clear_bike_states();
        clear_state_history();
        set_layout(3, 5);
        race_settings = RaceSettings{};
        race_settings.halfway_lap = LAP_NOT_DECIDED;
        race_settings.final_lap = LAP_NOT_DECIDED;
        current_tic = 0;
        running_order_count = 0;
        results_order_count = 0;
        results_written = 0;
        net_socket = -1;
        own_slot = NO_SLOT;
        local_gate_position = NO_SLOT;
        current_event = -1;
        expected_round = -1;
    }

    void TearDown() override
    {
        clear_bike_states();
        running_order_count = 0;
        results_order_count = 0;
        timing_gate_count = 0;
        lap_gate_list = LapGateList{};
    }

    // Checkpoint i mod 8 for every entry.
    static void set_layout(int first, int per_lap)
    {
        lap_gate_list = LapGateList{};
        timing_gate_count = 8;
        for (int i = 0; i < first + per_lap; i++)
            lap_gate_list.entries[i] = i % 8;
        lap_gate_list.first_lap_count = first;
        lap_gate_list.normal_lap_count = per_lap;
        lap_gate_list.first_lap_timing = first;
        lap_gate_list.normal_lap_timing = per_lap;
    }

    // A rider in the slot with these gate times (-1 = missed); gates passed
    // is their count.
    static BikeState *add_rider(int slot, const std::vector<int> &times, int kind = RIDER_ROBOT,
                                const char *number = nullptr)
    {
        BikeState *bike = &bike_states[slot];
        if (!bike->gate_times.data)
            init_growable_array(&bike->gate_times, (int)sizeof(int));
        bike->slot = slot;
        bike->model_index = find_bike_model_or_fallback("yz250f(2017)");
        snprintf(bike->rider_number, sizeof bike->rider_number, "%s", number ? number : "1");
        bike_slots[slot] = bike;
        rider_kind[slot] = kind;
        set_times(bike, times);
        return bike;
    }

    static void set_times(BikeState *bike, const std::vector<int> &times)
    {
        bike->gate_times.count = 0;
        for (size_t i = 0; i < times.size(); i++)
            set_gate_time(bike, (int)i, times[i]);
        bike->gates_passed = (int)times.size();
        bike->finished = 0;
    }

    // Gate i at (i + 1) x step tics.
    static std::vector<int> steady_times(int gates, int step, int from = 0)
    {
        std::vector<int> times;
        for (int i = 0; i < gates; i++)
            times.push_back(from + (i + 1) * step);
        return times;
    }

    // The running order as given, slots first to last.
    static void set_running_order(const std::vector<int> &slots)
    {
        running_order_count = 0;
        for (int slot : slots) {
            const BikeState *bike = bike_slots[slot];
            running_order[running_order_count++] = {slot, bike->gates_passed, 0};
        }
    }
};
