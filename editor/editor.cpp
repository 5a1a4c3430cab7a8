// The editor hooks of the track load; the editor is off until it exists.
#include "editor/editor.h"

int editor_on;
EditorState *editor_state;

void read_edinfo(EditorState *state, Terrain *terrain)
{
    (void)state, (void)terrain;
}

void free_editor_data(void)
{
}
