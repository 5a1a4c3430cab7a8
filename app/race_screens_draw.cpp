// Drawing the race screens: New Race with its gates, Time Trial, Playback
// Race, the points series list and a series' standings table.
#include "app/race_screen_items.h"

#include <cstdio>

#include "app/bike_setup.h"
#include "app/menu.h"
#include "app/menu_screens.h"
#include "app/widget_draw.h"
#include "race/series.h"
#include "render/font.h"
#include "render/gl_extensions.h"
#include "render/overlay.h"

namespace {

const WidgetColours start_colours = {{0.0f, 1.0f, 0.0f, 0.3f}, {0.9f, 0.9f, 0.9f, 0.8f}};
const WidgetColours start_selected_colours = {{0.0f, 1.0f, 0.0f, 0.8f}, {0.9f, 0.9f, 0.9f, 1.0f}};

RaceScreenItems &r = race_items;

void draw_start_button(MenuItem *item, int selected, const LayoutPen *pen, const PixelScale *scale)
{
    const WidgetColours &c = selected ? start_selected_colours : start_colours;
    draw_item_label(item, pen, scale, 15.0f, 0.0f, c.text, c.frame);
}

// Twenty list rows one below the other, the empty ones hidden.
void draw_page_rows(MenuItem *rows, int first_item, LayoutPen *pen, PixelScale *scale, int as_buttons)
{
    for (int i = 0; i < LIST_PAGE_ROWS; i++) {
        move_pen(pen, scale, 0.0f, -LIST_ROW_STEP);
        int selected = menu_selection == first_item + i;
        if (!rows[i].label)
            hide_item_rect(&rows[i].rect);
        else if (as_buttons)
            draw_button(&rows[i], selected, pen, scale, MENU_LIST_WIDTH, 0.0f);
        else
            draw_list_row(&rows[i], selected, pen, scale, MENU_LIST_WIDTH, 0.0f, i);
    }
}

void draw_centred(float left, float right, const char *text)
{
    glPushMatrix();
    draw_text_centered_shadowed(1.0f, 1.0f, 1.0f, 1.0f, left, right, text);
    glPopMatrix();
}

void draw_cell(float left, float right, const Rgba &colour, const char *text)
{
    glPushMatrix();
    draw_text_centered(colour.r, colour.g, colour.b, colour.a, left, right, text);
    glPopMatrix();
}

}  // namespace

void draw_new_race_screen(void)
{
    sync_track_list();
    LayoutPen pen;
    PixelScale scale;
    begin_screen("New Race", &pen, &scale);
    move_pen(&pen, &scale, 0.0f, -2.0f);
    draw_button(&r.new_race_back, menu_selection == 0, &pen, &scale, 15.0f, 0.0f);
    move_pen(&pen, &scale, 0.0f, -MENU_ROW_STEP);
    draw_start_button(&r.new_race_start, menu_selection == 1, &pen, &scale);
    move_pen(&pen, &scale, 15.5f, MENU_ROW_STEP);
    const float width = 42.666668f - 15.0f - 4.0f * WIDGET_BORDER;
    draw_option_list(&track_list, menu_selection == 2, &pen, &scale, width, 0.0f, 0.375f);
    move_pen(&pen, &scale, 0.0f, -MENU_ROW_STEP);
    draw_option_list(&record_demo_list, menu_selection == 3, &pen, &scale, width, 0.0f, 0.375f);
    move_pen(&pen, &scale, 0.0f, -MENU_ROW_STEP);
    draw_option_list(&robot_skill_list, menu_selection == 4, &pen, &scale, width, 0.0f, 0.375f);
    move_pen(&pen, &scale, 0.0f, -MENU_ROW_STEP);
    draw_slider(&minutes_slider, menu_selection == 5, &pen, &scale, width, 0.0f, 0.375f);
    move_pen(&pen, &scale, 0.0f, -MENU_ROW_STEP);
    draw_slider(&laps_slider, menu_selection == 6, &pen, &scale, width, 0.0f, 0.375f);
    end_overlay();

    begin_menu_panel(42.0f, 4.6666665f, -13.5f, &pen, &scale);
    for (int i = 0; i < GATE_COUNT; i++) {
        if (i == GATE_COUNT / 2)
            move_pen(&pen, &scale, 28.0f, 27.5f);
        move_pen(&pen, &scale, 0.0f, -MENU_ROW_STEP);
        draw_option_list(&gate_lists[i], menu_selection == 7 + i, &pen, &scale, 18.666666f, 0.0f, 0.33f);
    }
    end_overlay();
}

void draw_time_trial_screen(void)
{
    sync_track_list();
    LayoutPen pen;
    PixelScale scale;
    begin_screen("Time Trial", &pen, &scale);
    move_pen(&pen, &scale, 0.0f, -2.0f);
    draw_button(&r.time_trial_back, menu_selection == 0, &pen, &scale, 15.0f, 0.0f);
    move_pen(&pen, &scale, 0.0f, -MENU_ROW_STEP);
    draw_start_button(&r.time_trial_start, menu_selection == 1, &pen, &scale);
    move_pen(&pen, &scale, 0.33f, -2.375f);
    draw_option_list(&track_list, menu_selection == 2, &pen, &scale, MENU_LIST_WIDTH, 0.0f, 0.4f);
    move_pen(&pen, &scale, 0.0f, -MENU_ROW_STEP);
    draw_slider(&ghost_fade_slider, menu_selection == 3, &pen, &scale, MENU_LIST_WIDTH, 0.0f, 0.4f);
    move_pen(&pen, &scale, 0.0f, -MENU_ROW_STEP);
    draw_option_list(&time_trial_abort_list, menu_selection == 4, &pen, &scale, MENU_LIST_WIDTH, 0.0f, 0.4f);
    end_overlay();
}

void draw_playback_screen(void)
{
    LayoutPen pen;
    PixelScale scale;
    begin_screen("Playback Race", &pen, &scale);
    move_pen(&pen, &scale, 0.0f, -2.0f);
    draw_button(&r.playback_back, menu_selection == 0, &pen, &scale, 15.0f, 0.0f);
    move_pen(&pen, &scale, 21.993334f, 0.0f);
    draw_option_list(&playback_mode_list, menu_selection == 1, &pen, &scale, 20.333334f, 0.0f, 0.5f);
    move_pen(&pen, &scale, -21.663334f, -2.0f);
    draw_button(&r.playback_prev, menu_selection == 2, &pen, &scale, MENU_LIST_WIDTH, 0.0f);
    draw_page_rows(r.demo_rows, 3, &pen, &scale, 0);
    move_pen(&pen, &scale, 0.0f, -MENU_ROW_STEP);
    draw_button(&r.playback_next, menu_selection == 23, &pen, &scale, MENU_LIST_WIDTH, 0.0f);
    end_overlay();
}

void draw_series_list_screen(void)
{
    LayoutPen pen;
    PixelScale scale;
    begin_screen("Points Series", &pen, &scale);
    move_pen(&pen, &scale, 0.0f, -2.0f);
    draw_button(&r.series_back, menu_selection == 0, &pen, &scale, 15.0f, 0.0f);
    move_pen(&pen, &scale, 0.33f, -2.0f);
    int last = series_list.count > 0 ? (series_list.count - 1) / LIST_PAGE_ROWS : 0;
    if (series_page > 0)
        draw_button(&r.series_prev, menu_selection == 1, &pen, &scale, MENU_LIST_WIDTH, 0.0f);
    else
        hide_item_rect(&r.series_prev.rect);
    draw_page_rows(r.series_rows, 2, &pen, &scale, 1);
    move_pen(&pen, &scale, 0.0f, -MENU_ROW_STEP);
    if (series_page < last)
        draw_button(&r.series_next, menu_selection == 22, &pen, &scale, MENU_LIST_WIDTH, 0.0f);
    else
        hide_item_rect(&r.series_next.rect);
    end_overlay();
}

void draw_standings_screen(void)
{
    const SeriesEvent *event = chosen_series >= 0 && chosen_series < series_list.count && series_list.events
                                   ? &series_list.events[chosen_series]
                                   : nullptr;
    LayoutPen pen;
    PixelScale scale;
    begin_screen(event && event->title ? event->title : "", &pen, &scale);
    move_pen(&pen, &scale, 0.0f, -2.0f);
    draw_button(&r.standings_back, menu_selection == 0, &pen, &scale, 15.0f, 0.0f);
    move_pen(&pen, &scale, 0.0f, -MENU_ROW_STEP);
    draw_start_button(&r.standings_enter, menu_selection == 1, &pen, &scale);
    move_pen(&pen, &scale, 0.0f, -MENU_ROW_STEP);
    draw_button(&r.standings_practice, menu_selection == 2, &pen, &scale, 15.0f, 0.0f);
    move_pen(&pen, &scale, 0.0f, -MENU_ROW_STEP);
    draw_button(&r.standings_reset, menu_selection == 3, &pen, &scale, 15.0f, 0.0f);
    if (!event || !event->rounds) {
        end_overlay();
        return;
    }
    move_pen(&pen, &scale, 2.333334f, -2.0f);
    char text[1024];
    int done = event->rounds_played < event->round_count ? event->rounds_played : event->round_count;
    if (done < event->round_count)
        snprintf(text, sizeof text, "Next Event: %.900s", event->rounds[done].name ? event->rounds[done].name : "");
    else
        snprintf(text, sizeof text, "%.900s Final Standings", event->title ? event->title : "");
    draw_blended_rect(0, 0, 0, 0.5f, 0, 0, 38, 1);
    draw_centred(0, 38, text);

    StandingsRow rows[SERIES_PLACES];
    int count = build_standings_rows(chosen_series, rows);
    const Rgba white = {1, 1, 1, 1}, player = {0.75f, 0.75f, 1, 1};
    glPushMatrix();
    glScalef(2.0f / 3.0f, 2.0f / 3.0f, 1.0f);
    for (int first = 0; first == 0 || first < event->round_count; first += 8) {
        glTranslatef(0.0f, -2.0f, 0.0f);
        draw_blended_rect(0, 0, 0, 0.5f, 0, 0, 57, 1);
        draw_centred(0, 3, "No.");
        draw_centred(3, 6, "Total");
        for (int k = 0; k < 8 && first + k < event->round_count; k++) {
            snprintf(text, sizeof text, "Rd %d", first + k + 1);
            draw_centred(6.0f + 6 * k, 12.0f + 6 * k, text);
        }
        for (int i = 0; i < count; i++) {
            glTranslatef(0.0f, -1.0f, 0.0f);
            if (i % 2)
                draw_blended_rect(1, 1, 1, 0.25f, 0, 0, 57, 1);
            int rider = rows[i].rider;
            if (rider == event->rider_count)
                snprintf(text, sizeof text, "%s", bike_setup.number.text);
            else
                snprintf(text, sizeof text, "%d", event->rider_numbers[rider]);
            draw_cell(0, 3, rider == event->rider_count ? player : white, text);
            snprintf(text, sizeof text, "%lld", rows[i].total);
            draw_cell(3, 6, white, text);
            for (int k = 0; k < 8 && first + k < done; k++) {
                const SeriesRound *round = &event->rounds[first + k];
                int place = round->positions[rider];
                int points = place >= 0 && place < SERIES_PLACES ? round->points[place] : 0;
                snprintf(text, sizeof text, "%d (%d)", points, place + 1);
                draw_cell(6.0f + 6 * k, 12.0f + 6 * k, white, text);
            }
        }
        glTranslatef(0.0f, -0.5f, 0.0f);
    }
    glPopMatrix();
    end_overlay();
}
