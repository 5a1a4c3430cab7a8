// Sounds that track scripts place in the world: a fixed table of 256 slots
// filled in order, each a voice with a position, velocity, frequency and
// volume the sound mix applies every frame.
#pragma once

struct AudioVoice;

enum { SCRIPT_SOUND_SLOTS = 256 };

struct ScriptSound {
    AudioVoice *voice;
    const char *name;     // interned
    float position[3];    // feet
    float velocity[3];    // ft/s
    float frequency;      // Hz at rest
    float volume;         // 1 = full
};

extern ScriptSound script_sounds[SCRIPT_SOUND_SLOTS];
extern int script_sound_count;   // slots 0..count-1 are in use

// A new slot's index; -1 when all are in use, 0 (and no slot taken) when
// the file gives no voice.
int load_script_sound(const char *name);
// The voice operation's result, or 0 for a slot not in use.
int start_script_sound(int slot);
int stop_script_sound(int slot);
int set_script_sound_loop(int slot, int loop);
// 1 when stored; 0 for a slot not in use or a value that is not finite
// (the old value stays).
int set_script_sound_freq(int slot, float frequency);
int set_script_sound_vol(int slot, float volume);
int set_script_sound_pos(int slot, float x, float y, float z);
int set_script_sound_vel(int slot, float x, float y, float z);
// Frees every slot's voice and empties the table (the race reset).
void free_script_sounds(void);
