// Audio output: the table of 16 operations every driver fills, the front end
// that opens one driver and forwards the game's calls to it, and the voice
// header each driver's voice record begins with.
#pragma once

#include <cstdint>

struct GameWindow;
struct AudioDriver;

// Every driver's voice record starts with this header. A voice whose driver
// has closed keeps its record (driver null) until free_voice releases it.
struct AudioVoice {
    const AudioDriver *driver;   // null once its driver has closed
};

// The 16 slots, in this order. Handles are non-zero ints the driver gives out.
struct AudioDriver {
    int (*open)(GameWindow *window);                                  // 0
    int (*open_readback)(int unused, int rate, int fragment_samples); // 1
    void (*close)(int handle);                                        // 2
    int (*update)(int handle);                                        // 3
    uint8_t *(*mix_readback_fragment)(int handle);                    // 4
    AudioVoice *(*create_voice)(int handle, int length, const uint8_t *data, int rate); // 5
    AudioVoice *(*duplicate_voice)(AudioVoice *voice);                // 6
    void (*free_voice)(AudioVoice *voice);                            // 7
    int (*play_voice)(AudioVoice *voice);                             // 8
    int (*stop_voice)(AudioVoice *voice);                             // 9
    int (*set_voice_rate)(AudioVoice *voice, int rate);               // 10
    int (*set_voice_volume)(AudioVoice *voice, int volume);           // 11
    int (*set_voice_pan)(AudioVoice *voice, int pan);                 // 12
    int (*set_voice_loop)(AudioVoice *voice, int loop);               // 13
    int (*get_voice_position)(AudioVoice *voice);                     // 14
    int (*write_voice_data)(AudioVoice *voice, int count, const uint8_t *bytes, int offset); // 15
};

enum {
    VOICE_VOLUME_MAX = 0x7FFF,
    VOICE_PAN_LEFT = -0x8000,
    VOICE_PAN_RIGHT = 0x7FFF,
};

// The three drivers ("dsnd" is OpenAL, "waveout" SDL with our mixer).
extern const AudioDriver openal_audio_driver;
extern const AudioDriver sdl_audio_driver;
extern const AudioDriver readback_audio_driver;

// The active driver, null while audio is closed.
extern const AudioDriver *active_audio_driver;

// OpenAL when "dsnd" is on and it opens, else SDL when "waveout" is on; 0
// when neither opens or a driver is already active.
int open_audio(GameWindow *window);
// The readback driver (mixing into memory); 0 while another driver is active.
int open_readback_audio(int unused, int rate, int fragment_samples);
// Closes the active driver; every voice it still had is left to free_voice.
void close_audio(int handle);

// Each forwards to the active driver and returns its result. With no active
// driver, a handle that is not the active one or a voice of another driver,
// they do nothing and return 0 or null.
int update_audio(int handle);
uint8_t *mix_readback_fragment(int handle);
AudioVoice *create_voice(int handle, int length, const uint8_t *data, int rate);
AudioVoice *duplicate_voice(AudioVoice *voice);
// Also releases the record of a voice whose driver has closed.
void free_voice(AudioVoice *voice);
int play_voice(AudioVoice *voice);
int stop_voice(AudioVoice *voice);
int set_voice_rate(AudioVoice *voice, int rate);
int set_voice_volume(AudioVoice *voice, int volume);
int set_voice_pan(AudioVoice *voice, int pan);
int set_voice_loop(AudioVoice *voice, int loop);
int get_voice_position(AudioVoice *voice);
int write_voice_data(AudioVoice *voice, int count, const uint8_t *bytes, int offset);

// For the drivers: a fresh non-zero handle.
int new_audio_handle(void);
