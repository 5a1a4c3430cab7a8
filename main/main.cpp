// The game's entry point.
#include "app/game_main.h"

int main(int argc, char **argv)
{
    return game_main(argc, argv);
}
