// What the track load asks of the editor. The editor is off until it exists.
#pragma once

struct Terrain;
struct EditorState;

extern int editor_on;
extern EditorState *editor_state;

void read_edinfo(EditorState *state, Terrain *terrain);
void free_editor_data(void);
