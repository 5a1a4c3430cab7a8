// The robot table: four blocks of twenty rows. The first block rides the
// 125s, the next two the 250 four-strokes (the second block with its own
// personality), the last the 250s in their alternative paint and wheels.
// In the first three blocks rider and helmet skins rotate through three
// alternatives, every fourth keeping the bike's own.
#include "race/robot_table.h"

#include <cstdio>

#include "core/random.h"

namespace {

const char *const RIDER_SKINS[4] = {"@rider_body-alt1.png", "@rider_body-alt2.png",
                                    "@rider_body-alt3.png", nullptr};
const char *const HELMET_SKINS[4] = {"@rider_head-alt1.png", "@rider_head-alt2.png",
                                     "@rider_head-alt3.png", nullptr};
const char *const MODELS_125[4] = {"kx125", "yz125", "cr125", "rm125"};
const char *const PAINTED_MODELS[4] = {"crf250", "kx250f", "yz250f", "rmz250"};
const char *const PAINTED_BIKES[20] = {
    "@crf250-alt1.png", "@crf250-alt2.png", "@crf250-alt1.png", "@crf250-alt2.png",
    "@crf250-alt1.png", "@kx250f-alt2.png", "@kx250f-alt1.png", "@kx250f-alt2.png",
    "@kx250f-alt1.png", "@kx250f-alt2.png", "@yz250f-alt1.png", "@yz250f-alt2.png",
    "@yz250f-alt1.png", "@yz250f-alt2.png", "@yz250f-alt1.png", "@rmz250-alt2.png",
    "@rmz250-alt1.png", "@rmz250-alt2.png", "@rmz250-alt1.png", "@rmz250-alt2.png",
};

constexpr RobotRow make_row(int row)
{
    RobotRow r{};
    r.number[0] = (char)('0' + (20 + row) / 10);
    r.number[1] = (char)('0' + (20 + row) % 10);
    r.number[2] = 0;
    int block = row / 20, i = row % 20;
    if (block < 3) {
        r.rider_texture = RIDER_SKINS[row % 4];
        r.helmet_texture = HELMET_SKINS[(row / 4) % 4];
    }
    if (block == 0) {
        r.personality = "sundo";
        r.model = MODELS_125[i / 5];
    } else if (block == 1 || block == 2) {
        r.personality = block == 1 ? "grell" : "sundo";
        r.model = i < 5 ? "crf250" : i < 10 ? "kx250f" : i < 14 ? "rmz250" : i < 19 ? "yz250f"
                                                                              : "yz250f_se(2006)";
    } else {
        r.personality = "vapp";
        r.model = PAINTED_MODELS[i / 5];
        r.bike_texture = PAINTED_BIKES[i];
        r.wheel_texture = i % 2 ? "@wheels-alt2.png" : "@wheels-alt1.png";
    }
    return r;
}

}  // namespace

const RobotRow robot_table[ROBOT_TABLE_ROWS] = {
#define ROW(n) make_row(n)
    ROW(0),  ROW(1),  ROW(2),  ROW(3),  ROW(4),  ROW(5),  ROW(6),  ROW(7),  ROW(8),  ROW(9),
    ROW(10), ROW(11), ROW(12), ROW(13), ROW(14), ROW(15), ROW(16), ROW(17), ROW(18), ROW(19),
    ROW(20), ROW(21), ROW(22), ROW(23), ROW(24), ROW(25), ROW(26), ROW(27), ROW(28), ROW(29),
    ROW(30), ROW(31), ROW(32), ROW(33), ROW(34), ROW(35), ROW(36), ROW(37), ROW(38), ROW(39),
    ROW(40), ROW(41), ROW(42), ROW(43), ROW(44), ROW(45), ROW(46), ROW(47), ROW(48), ROW(49),
    ROW(50), ROW(51), ROW(52), ROW(53), ROW(54), ROW(55), ROW(56), ROW(57), ROW(58), ROW(59),
    ROW(60), ROW(61), ROW(62), ROW(63), ROW(64), ROW(65), ROW(66), ROW(67), ROW(68), ROW(69),
    ROW(70), ROW(71), ROW(72), ROW(73), ROW(74), ROW(75), ROW(76), ROW(77), ROW(78), ROW(79),
#undef ROW
};

int robot_order[ROBOT_TABLE_ROWS];

void shuffle_robot_order(void)
{
    for (int i = 0; i < ROBOT_TABLE_ROWS; i++)
        robot_order[i] = i;
    for (int k = ROBOT_TABLE_ROWS - 1; k >= 1; k--) {
        int j = (int)((mt_next() / 65536u) % (unsigned)k);
        int swap = robot_order[k];
        robot_order[k] = robot_order[j];
        robot_order[j] = swap;
    }
}
