// The menu state machine as the player walks it: Escape, "New Race" and
// "Start" on a test track through the window's event ring, the rotated
// lineup, quitting, the chooser's pages, and the multiplayer screen's
// server history.
#include "app/menu.h"
#include "app/option_screen_items.h"
#include "app/race_screens.h"
#include "net/client.h"
#include "net/console.h"
#include "platform/window.h"
#include "core/message.h"
#include "race/demo.h"
#include "race/race_fixture.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

struct MenuWalk : RaceWorld {
    GameWindow *window = nullptr;

    void SetUp() override
    {
        // Two demos the file index lists (neither opens: the race falls
        // back to the chosen track).
        write_file(test_data_dir() + "demos/default.kzdemo", "not a demo");
        write_file(test_data_dir() + "demos/Other run.kzdemo", "not a demo");
        RaceWorld::SetUp();
        window = open_gl_window("Rutline menu walk", 320, 240, 24, 0, 16, 0, 0);
        ASSERT_NE(window, nullptr);
        bind_menu_keys(window);
        while (next_event(window, nullptr, nullptr)) {
        }
        scan_track_catalogue();
        ASSERT_EQ(select_track_folder(RACE_TRACK), 1);
    }
    void TearDown() override
    {
        unbind_menu_keys();
        close_gl_window(window);
        RaceWorld::TearDown();
    }

    // One pass of the main loop's tics: each key pressed and released, a
    // character after Enter as the window sends it.
    void keys(const std::vector<int> &codes)
    {
        begin_menu_tics();
        for (int code : codes) {
            push_event_now(window, code, 1);
            if (code == menu_keys.enter)
                push_event_now(window, 13, 1);
            push_event_now(window, code, 0);
        }
        int code, pressed;
        while (next_event(window, &code, &pressed))
            menu_event(code, pressed);
    }

    std::vector<int> kinds_by_slot(int count)
    {
        std::vector<int> kinds;
        for (int slot = 0; slot < count; slot++)
            kinds.push_back(get_slot_bike(slot) ? rider_kind[slot] : -1);
        return kinds;
    }
};

}  // namespace

TEST_F(MenuWalk, EscapeNewRaceStartRacesTheGatesAndQuitTakesTheNextKey)
{
    keys({menu_keys.esc});
    EXPECT_EQ(menu_state, MENU_MAIN);
    keys({menu_keys.enter});   // "New Race"
    EXPECT_EQ(menu_state, MENU_NEW_RACE);
    keys({menu_keys.down, menu_keys.enter});   // "Start"
    EXPECT_EQ(menu_state, MENU_NONE);

    std::vector<int> expected(24, -1);
    expected[19] = RIDER_LOCAL;
    for (int slot : {17, 18, 20, 21, 22})
        expected[slot] = RIDER_ROBOT;
    EXPECT_EQ(kinds_by_slot(24), expected);
    EXPECT_EQ(followed_slot, 19);
    EXPECT_EQ(gate_lists[19].selected, 1);   // no rotation: the lineup stays

    keys({menu_keys.esc});
    EXPECT_EQ(menu_state, MENU_MAIN);
    EXPECT_EQ(menu_selection, 0);   // "New Race"

    std::vector<int> to_quit(8, menu_keys.down);
    keys(to_quit);
    EXPECT_EQ(menu_selection, 8);
    keys({menu_keys.enter});
    EXPECT_EQ(menu_state, MENU_EXIT);
    EXPECT_EQ(exit_requested, 0);   // neither the Enter nor its character
    keys({menu_keys.esc});
    EXPECT_EQ(menu_state, MENU_NONE);   // Escape goes back to the race
    EXPECT_EQ(exit_requested, 0);

    keys({menu_keys.esc});
    keys(to_quit);
    keys({menu_keys.enter});
    ASSERT_EQ(menu_state, MENU_EXIT);
    keys({'y'});
    EXPECT_EQ(exit_requested, 1);
}

TEST_F(MenuWalk, TheLineupRotatesAfterEachStart)
{
    struct {
        int rotation;
        int human_gate;            // 1-based, after one start
        std::vector<int> robots;   // 1-based
    } cases[] = {
        {1, 21, {19, 20, 22, 23, 24}},
        {-1, 19, {17, 18, 20, 21, 22}},
        {161, 21, {19, 20, 22, 23, 24}},
        {INT_MIN, 20, {18, 19, 21, 22, 23}},   // -2^31 = 32 mod 160: beyond the gates
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.rotation);
        for (int i = 0; i < GATE_COUNT; i++)
            gate_lists[i].selected = i == 19 ? 1 : (i >= 17 && i <= 22) ? 2 : 0;
        lineup_rotation = c.rotation;
        set_menu_state(MENU_NEW_RACE);
        keys({menu_keys.down, menu_keys.enter});
        ASSERT_EQ(menu_state, MENU_NONE);
        if (c.rotation == INT_MIN) {
            for (int i = 0; i < GATE_COUNT; i++)
                EXPECT_EQ(gate_lists[i].selected, 0) << i;   // every kind moved past gate 40
            EXPECT_EQ(slot_kinds[19 + 32], 1);
            continue;
        }
        EXPECT_EQ(gate_lists[c.human_gate - 1].selected, 1);
        for (int gate : c.robots)
            EXPECT_EQ(gate_lists[gate - 1].selected, 2) << gate;
    }
}

TEST_F(MenuWalk, RacingAgainstADemoPutsThePlayerInAGateAndNeverRecordsOverIt)
{
    build_demo_list();
    ASSERT_EQ(demo_list.count, 2);
    EXPECT_STREQ(((const char *const *)demo_names.data)[0], "default");
    EXPECT_STREQ(((const char *const *)demo_names.data)[1], "Other run");

    struct {
        int row;
        int human_gate;   // -1: none
        int mode;         // 0 Playback Only, 1 Race Against
        int player_slot;  // -1: no player
        bool recording;
        bool message;
    } cases[] = {
        {0, -1, 1, 0, false, true},    // no gate says Human: slot 0; never over the default demo
        {1, 5, 1, 5, true, false},
        {1, 5, 0, -1, false, false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.row * 10 + c.mode);
        for (int i = 0; i < GATE_COUNT; i++)
            gate_lists[i].selected = i == c.human_gate ? 1 : 2;
        record_demo_list.selected = 1;
        playback_mode_list.selected = c.mode;
        int before = message_log.next_line;
        set_menu_state(MENU_PLAYBACK_RACE);
        keys(std::vector<int>(3 + c.row, menu_keys.down));
        keys({menu_keys.enter});
        EXPECT_EQ(menu_state, MENU_NONE);
        EXPECT_EQ(demo_to_play, nullptr);   // only during the call
        for (int slot = 0; slot < BIKE_SLOT_COUNT; slot++)
            EXPECT_EQ(slot_kinds[slot], slot == c.player_slot ? 1 : 0) << slot;
        EXPECT_EQ(demo_record_file != nullptr, c.recording);
        bool shown = false;
        for (int line = before; line != message_log.next_line; line = (line + 1) % MESSAGE_LINES)
            shown |= strstr(message_log.lines[line], "Can't record and play from same file") != nullptr;
        EXPECT_EQ(shown, c.message);
        stop_demo_recording();
    }
    free_demo_list();
}

TEST(Chooser, PagesOfTwentyAndTheirEdges)
{
    menu_keys.up = 1001, menu_keys.down = 1002, menu_keys.enter = 1003;
    std::vector<std::string> names;
    for (int i = 0; i < 45; i++)
        names.push_back("choice " + std::to_string(i));
    std::vector<const char *> choices;
    for (const std::string &n : names)
        choices.push_back(n.c_str());
    OptionList list = {"List", choices.data(), 45, 0, {-1, -1, -1, -1}};

    set_menu_state(MENU_NEW_RACE);
    open_chooser(&list, "Choose", set_choice_result);
    EXPECT_EQ(menu_state, MENU_CHOOSER);
    auto press = [](int key, int times = 1) {
        for (int i = 0; i < times; i++)
            menu_key(key);
    };
    press(menu_keys.down);   // "Prev Page" on the first page keeps it
    press(menu_keys.enter);
    EXPECT_EQ(chooser_page, 0);
    EXPECT_STREQ(chooser_rows[19].label, "choice 19");

    press(menu_keys.down, 21);
    EXPECT_EQ(menu_selection, 22);
    press(menu_keys.enter, 2);
    EXPECT_EQ(chooser_page, 2);
    EXPECT_STREQ(chooser_rows[4].label, "choice 44");
    EXPECT_EQ(chooser_rows[5].label, nullptr);
    EXPECT_EQ(chooser_rows[5].rect.x0, -1);

    press(menu_keys.enter);   // "Next Page" on the last page keeps it
    EXPECT_EQ(chooser_page, 2);
    press(menu_keys.up);      // from "Next Page" to the fifth row
    EXPECT_EQ(menu_selection, 6);
    press(menu_keys.down);    // and back over the empty rows
    EXPECT_EQ(menu_selection, 22);
    press(menu_keys.up);
    press(menu_keys.up, 2);
    EXPECT_EQ(menu_selection, 4);   // "choice 42"
    press(menu_keys.enter);
    EXPECT_EQ(menu_state, MENU_NEW_RACE);
    EXPECT_EQ(menu_selection, 0);
    EXPECT_EQ(list.selected, 42);
}

TEST(Console, TheLineIsEditedAndEnterTakesIt)
{
    menu_keys.enter = 1003, menu_keys.page_up = 1004, menu_keys.page_down = 1005;
    set_menu_state(MENU_CONSOLE);
    for (int key : {(int)'h', (int)'i', 8, (int)'o'})
        menu_key(key);
    EXPECT_STREQ(console_line.text, "ho");
    menu_key(menu_keys.enter);
    EXPECT_STREQ(console_line.text, "");
    EXPECT_EQ(console_line.cursor, 0);
    for (int i = 0; i < 1000; i++)
        menu_key(menu_keys.page_up);
    EXPECT_EQ(console_scroll, 950);
    for (int i = 0; i < 1000; i++)
        menu_key(menu_keys.page_down);
    EXPECT_EQ(console_scroll, 0);
}

TEST(Multiplayer, ConnectRemembersTheServerOnceAndClosesTheMenu)
{
    menu_keys.enter = 1003, menu_keys.down = 1002, menu_keys.page_up = 1004, menu_keys.page_down = 1005;
    struct {
        const char *typed;
        const char *target;
        const char *newest;
        const char *second;
    } cases[] = {
        {"a.example", "a.example", "a.example", ""},
        {"b.example", "b.example", "b.example", "a.example"},
        {"b.example", "b.example", "b.example", "a.example"},   // the newest again: not twice
        {"", "", "b.example", "a.example"},                      // empty: no history, still handed on
    };
    for (const auto &c : cases) {
        set_menu_state(MENU_MULTIPLAYER);
        set_text_field_text(&server_field, c.typed);
        menu_key(menu_keys.down);
        menu_key(menu_keys.enter);
        EXPECT_EQ(menu_state, MENU_NONE) << c.typed;
        ASSERT_NE(connect_target, nullptr);
        EXPECT_STREQ(connect_target, c.target);
        EXPECT_STREQ(recent_servers[0], c.newest);
        EXPECT_STREQ(recent_servers[1], c.second);
    }
    // Page up walks back through the history, page down forward again.
    set_menu_state(MENU_MULTIPLAYER);
    menu_selection = 3;
    set_text_field_text(&server_field, "b.example");
    menu_key(menu_keys.page_up);   // skips the newest: it is the text
    EXPECT_STREQ(server_field.text, "a.example");
    EXPECT_EQ(server_field.cursor, 9);
    menu_key(menu_keys.page_up);   // nothing older
    EXPECT_EQ(recent_server_index, 1);
    menu_key(menu_keys.page_down);
    EXPECT_STREQ(server_field.text, "b.example");
    menu_key(menu_keys.page_down);
    EXPECT_EQ(recent_server_index, -1);
    EXPECT_STREQ(server_field.text, "b.example");
    set_connect_target(nullptr);
}
