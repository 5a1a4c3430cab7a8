// The OpenAL driver ("dsnd"): every voice is a relative mono source, on a
// buffer of the whole sample until its first write, then streaming its own
// copy of the sample in short queued chunks. Volume follows the game's
// hundredths-of-a-decibel curve; pan places the source on the front
// half-circle.
#include "platform/audio_openal.h"

#include "core/alloc.h"
#include "platform/audio.h"

#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>

#include <cmath>
#include <cstring>

enum {
    DEFAULT_VOICE_RATE = 22050,
    MONO_SOURCES = 512,
    VOICE_RATE_MAX = 1000000,
    VOICE_LENGTH_MAX = 1 << 28,
    STREAM_CHUNK = 512,       // samples in one queued chunk at most
    STREAM_AHEAD = 4096,      // samples queued past the play position at most
    STREAM_BUFFERS = 32,      // chunks one voice can have queued
};

struct OpenalSample {
    int references;
    int length;
    int rate;           // of the buffer
    ALuint buffer;
    uint8_t *data;      // a copy, the start of a stream's ring
};

struct OpenalVoice {
    AudioVoice header;
    OpenalVoice *next;
    OpenalVoice *previous;
    ALuint source;
    OpenalSample *sample;
    int volume;
    int pan;
    int loop;
    int rate;
    int explicit_rate;   // made with its own rate: no rate changes
    int playing;         // play asked for and not stopped (streams)
    // Streaming, from the first write on.
    uint8_t *ring;
    ALuint buffers[STREAM_BUFFERS];
    int free_buffers[STREAM_BUFFERS];   // indices into buffers
    int free_count;
    int queued[STREAM_BUFFERS];         // buffer indices in queue order
    int queued_start[STREAM_BUFFERS];   // ring position of each
    int queued_length[STREAM_BUFFERS];
    int queue_head;
    int queue_count;
    int queue_end;                      // ring position after the last queued chunk
};

struct OpenalState {
    int handle;   // 0 while closed
    ALCdevice *device;
    ALCcontext *context;
    int loopback;
    OpenalVoice *voices;
};

static OpenalState openal;
static int loopback_rate;

// ---- volume and pan -------------------------------------------------------------------

static short attenuation_table[1025];

int volume_attenuation(int volume)
{
    if (attenuation_table[1024] == 0 && attenuation_table[0] == 0) {
        attenuation_table[0] = -10000;
        for (int i = 1; i < 1024; i++)
            attenuation_table[i] = (short)(2000.0 * log10(i / 1024.0));
        attenuation_table[1024] = 0;
    }
    if (volume <= 0)
        return -10000;
    if (volume >= 0x7FFF)
        return 0;
    int i = volume >> 5, r = volume & 31;
    return attenuation_table[i] + ((attenuation_table[i + 1] - attenuation_table[i]) * r >> 5);
}

static void apply_volume_and_pan(OpenalVoice *voice)
{
    int centibels = volume_attenuation(voice->volume);
    float gain = centibels <= -10000 ? 0.0f : powf(10.0f, (float)centibels / 2000.0f);
    float x = (float)voice->pan / 0x7FFF;
    alSourcef(voice->source, AL_GAIN, gain);
    alSource3f(voice->source, AL_POSITION, x, 0.0f, -sqrtf(fmaxf(0.0f, 1.0f - x * x)));
}

// ---- open and close -------------------------------------------------------------------

void use_openal_loopback(int rate)
{
    loopback_rate = rate > 0 ? rate : 0;
}

int render_openal_loopback(float *out, int frames)
{
    if (!openal.handle || !openal.loopback || !out || frames <= 0)
        return 0;
    auto render = (LPALCRENDERSAMPLESSOFT)alcGetProcAddress(openal.device, "alcRenderSamplesSOFT");
    if (!render)
        return 0;
    render(openal.device, out, frames);
    return 1;
}

static void close_devices(void)
{
    alcMakeContextCurrent(nullptr);
    if (openal.context)
        alcDestroyContext(openal.context);
    if (openal.device)
        alcCloseDevice(openal.device);
    openal.context = nullptr;
    openal.device = nullptr;
}

static int openal_open(GameWindow *)
{
    if (openal.handle)
        return 0;
    openal.loopback = loopback_rate > 0;
    if (openal.loopback) {
        auto open_loopback = (LPALCLOOPBACKOPENDEVICESOFT)alcGetProcAddress(
            nullptr, "alcLoopbackOpenDeviceSOFT");
        openal.device = open_loopback ? open_loopback(nullptr) : nullptr;
    } else {
        openal.device = alcOpenDevice(nullptr);
    }
    if (!openal.device)
        return 0;
    ALCint loopback_attributes[] = {ALC_FORMAT_CHANNELS_SOFT, ALC_STEREO_SOFT,
                                    ALC_FORMAT_TYPE_SOFT, ALC_FLOAT_SOFT,
                                    ALC_FREQUENCY, loopback_rate,
                                    ALC_MONO_SOURCES, MONO_SOURCES, 0};
    ALCint attributes[] = {ALC_MONO_SOURCES, MONO_SOURCES, 0};
    openal.context = alcCreateContext(openal.device,
                                      openal.loopback ? loopback_attributes : attributes);
    if (!openal.context || !alcMakeContextCurrent(openal.context)) {
        close_devices();
        return 0;
    }
    // Distance and motion are the sound mix's: the sources only place pan.
    alDistanceModel(AL_NONE);
    alDopplerFactor(0.0f);
    alGetError();
    openal.voices = nullptr;
    openal.handle = new_audio_handle();
    return openal.handle;
}

static void release_sample(OpenalSample *sample)
{
    if (!sample || --sample->references > 0)
        return;
    alDeleteBuffers(1, &sample->buffer);
    checked_free(sample);
}

// Deletes the voice's AL objects and data; the record stays.
static void release_voice(OpenalVoice *voice)
{
    alSourceStop(voice->source);
    alSourcei(voice->source, AL_BUFFER, 0);
    alDeleteSources(1, &voice->source);
    if (voice->ring) {
        alDeleteBuffers(STREAM_BUFFERS, voice->buffers);
        checked_free(voice->ring);
        voice->ring = nullptr;
    }
    release_sample(voice->sample);
    voice->sample = nullptr;
}

static void openal_close(int handle)
{
    if (!openal.handle || handle != openal.handle)
        return;
    for (OpenalVoice *voice = openal.voices; voice; voice = voice->next) {
        release_voice(voice);
        voice->header.driver = nullptr;
    }
    openal.voices = nullptr;
    close_devices();
    openal.handle = 0;
}

static int openal_open_readback(int, int, int)
{
    return 0;
}

static int openal_update(int)
{
    return 1;
}

static uint8_t *openal_mix_readback_fragment(int)
{
    return nullptr;
}

// ---- voices -----------------------------------------------------------------------------

static OpenalVoice *new_voice(OpenalSample *sample)
{
    OpenalVoice *voice = (OpenalVoice *)checked_calloc(1, sizeof(OpenalVoice));
    if (!voice)
        return nullptr;
    alGetError();
    alGenSources(1, &voice->source);
    if (alGetError() != AL_NO_ERROR) {
        checked_free(voice);
        return nullptr;
    }
    alSourcei(voice->source, AL_SOURCE_RELATIVE, AL_TRUE);
    alSourcei(voice->source, AL_BUFFER, (ALint)sample->buffer);
    voice->header.driver = &openal_audio_driver;
    voice->sample = sample;
    sample->references++;
    voice->next = openal.voices;
    if (openal.voices)
        openal.voices->previous = voice;
    openal.voices = voice;
    return voice;
}

static void apply_rate(OpenalVoice *voice)
{
    alSourcef(voice->source, AL_PITCH, (float)voice->rate / (float)voice->sample->rate);
}

static AudioVoice *openal_create_voice(int handle, int length, const uint8_t *data, int rate)
{
    if (!openal.handle || handle != openal.handle || !data || length <= 0 ||
        length > VOICE_LENGTH_MAX || rate < 0 || rate > VOICE_RATE_MAX)
        return nullptr;
    OpenalSample *sample = (OpenalSample *)checked_malloc(sizeof(OpenalSample) + (size_t)length);
    if (!sample)
        return nullptr;
    sample->references = 0;
    sample->length = length;
    sample->rate = rate ? rate : DEFAULT_VOICE_RATE;
    sample->data = (uint8_t *)(sample + 1);
    memcpy(sample->data, data, (size_t)length);
    alGetError();
    alGenBuffers(1, &sample->buffer);
    if (alGetError() == AL_NO_ERROR)
        alBufferData(sample->buffer, AL_FORMAT_MONO8, data, length, sample->rate);
    if (alGetError() != AL_NO_ERROR) {
        alDeleteBuffers(1, &sample->buffer);
        checked_free(sample);
        return nullptr;
    }
    OpenalVoice *voice = new_voice(sample);
    if (!voice) {
        sample->references = 1;
        release_sample(sample);
        return nullptr;
    }
    voice->volume = 0x7FFF;
    voice->rate = sample->rate;
    voice->explicit_rate = rate != 0;
    apply_rate(voice);
    apply_volume_and_pan(voice);
    return &voice->header;
}

static AudioVoice *openal_duplicate_voice(AudioVoice *original)
{
    OpenalVoice *source = (OpenalVoice *)original;
    OpenalVoice *voice = new_voice(source->sample);
    if (!voice)
        return nullptr;
    voice->volume = source->volume;
    voice->pan = source->pan;
    voice->loop = source->loop;
    voice->rate = source->rate;
    voice->explicit_rate = source->explicit_rate;
    apply_rate(voice);
    apply_volume_and_pan(voice);
    return &voice->header;
}

static void openal_free_voice(AudioVoice *header)
{
    OpenalVoice *voice = (OpenalVoice *)header;
    release_voice(voice);
    if (voice->previous)
        voice->previous->next = voice->next;
    else
        openal.voices = voice->next;
    if (voice->next)
        voice->next->previous = voice->previous;
    checked_free(voice);
}

// Takes every chunk off the source, played or not.
static void empty_stream(OpenalVoice *voice)
{
    alSourceStop(voice->source);
    alSourcei(voice->source, AL_BUFFER, 0);
    for (int i = 0; i < voice->queue_count; i++)
        voice->free_buffers[voice->free_count++] = voice->queued[(voice->queue_head + i) % STREAM_BUFFERS];
    voice->queue_head = voice->queue_count = 0;
}

static int openal_play(AudioVoice *header)
{
    OpenalVoice *voice = (OpenalVoice *)header;
    voice->playing = 1;
    if (voice->ring) {
        // A stream starts over at the start of its ring with the next write.
        empty_stream(voice);
        voice->queue_end = 0;
        return 1;
    }
    alSourcei(voice->source, AL_LOOPING, voice->loop ? AL_TRUE : AL_FALSE);
    alSourceStop(voice->source);
    alSourceRewind(voice->source);
    alSourcePlay(voice->source);
    return 1;
}

static int openal_stop(AudioVoice *header)
{
    OpenalVoice *voice = (OpenalVoice *)header;
    voice->playing = 0;
    if (voice->ring)
        empty_stream(voice);
    else
        alSourceStop(voice->source);
    return 1;
}

static int openal_set_rate(AudioVoice *header, int rate)
{
    OpenalVoice *voice = (OpenalVoice *)header;
    if (voice->explicit_rate || rate <= 0 || rate > VOICE_RATE_MAX)
        return 0;
    voice->rate = rate;
    apply_rate(voice);
    return 1;
}

static int openal_set_volume(AudioVoice *header, int volume)
{
    OpenalVoice *voice = (OpenalVoice *)header;
    voice->volume = volume < 0 ? 0 : volume > 0x7FFF ? 0x7FFF : volume;
    apply_volume_and_pan(voice);
    return 1;
}

static int openal_set_pan(AudioVoice *header, int pan)
{
    OpenalVoice *voice = (OpenalVoice *)header;
    voice->pan = pan < -0x7FFF ? -0x7FFF : pan > 0x7FFF ? 0x7FFF : pan;
    apply_volume_and_pan(voice);
    return 1;
}

static int openal_set_loop(AudioVoice *header, int loop)
{
    ((OpenalVoice *)header)->loop = loop & 1;
    return 1;
}

// ---- streaming ---------------------------------------------------------------------------

// Gives the played chunks back to the free list.
static void unqueue_played(OpenalVoice *voice)
{
    ALint processed = 0;
    alGetSourcei(voice->source, AL_BUFFERS_PROCESSED, &processed);
    while (processed-- > 0 && voice->queue_count > 0) {
        int index = voice->queued[voice->queue_head];
        ALuint buffer = voice->buffers[index];
        alSourceUnqueueBuffers(voice->source, 1, &buffer);
        voice->free_buffers[voice->free_count++] = index;
        voice->queue_head = (voice->queue_head + 1) % STREAM_BUFFERS;
        voice->queue_count--;
    }
}

// How far the source is into its queue, in samples.
static int queue_offset(OpenalVoice *voice)
{
    ALint offset = 0;
    alGetSourcei(voice->source, AL_SAMPLE_OFFSET, &offset);
    return offset > 0 ? offset : 0;
}

// The ring position being played: the first queued chunk's start plus the
// source's offset into the queue, or the queue's end once it ran dry.
static int stream_position(OpenalVoice *voice, int offset)
{
    if (voice->queue_count == 0)
        return voice->queue_end;
    int64_t position = (int64_t)voice->queued_start[voice->queue_head] + offset;
    return (int)(position % voice->sample->length);
}

// Queued samples not played yet.
static int queued_ahead(OpenalVoice *voice, int offset)
{
    int64_t total = 0;
    for (int i = 0; i < voice->queue_count; i++)
        total += voice->queued_length[(voice->queue_head + i) % STREAM_BUFFERS];
    return total > offset ? (int)(total - offset) : 0;
}

// The first write: the source leaves its whole-sample buffer and streams a
// copy of the sample from where it played.
static int start_stream(OpenalVoice *voice)
{
    int length = voice->sample->length;
    voice->ring = (uint8_t *)checked_malloc((size_t)length);
    if (!voice->ring)
        return 0;
    alGetError();
    alGenBuffers(STREAM_BUFFERS, voice->buffers);
    if (alGetError() != AL_NO_ERROR) {
        checked_free(voice->ring);
        voice->ring = nullptr;
        return 0;
    }
    memcpy(voice->ring, voice->sample->data, (size_t)length);
    ALint offset = 0, state = AL_STOPPED;
    alGetSourcei(voice->source, AL_SOURCE_STATE, &state);
    alGetSourcei(voice->source, AL_SAMPLE_OFFSET, &offset);
    voice->playing = state == AL_PLAYING;
    voice->queue_end = state == AL_PLAYING && offset > 0 ? offset % length : 0;
    alSourceStop(voice->source);
    alSourcei(voice->source, AL_BUFFER, 0);
    alSourcei(voice->source, AL_LOOPING, AL_FALSE);
    voice->free_count = STREAM_BUFFERS;
    for (int i = 0; i < STREAM_BUFFERS; i++)
        voice->free_buffers[i] = i;
    voice->queue_head = voice->queue_count = 0;
    return 1;
}

// Queues chunks from the queue's end toward write_end, at most STREAM_AHEAD
// past the play position.
static void feed_stream(OpenalVoice *voice, int write_end, int whole_ring)
{
    int length = voice->sample->length;
    unqueue_played(voice);
    int room = STREAM_AHEAD - queued_ahead(voice, queue_offset(voice));
    int available = (int)(((int64_t)write_end - voice->queue_end + length) % length);
    if (available == 0 && whole_ring)
        available = length;
    int amount = available < room ? available : room;
    while (amount > 0 && voice->free_count > 0) {
        int start = voice->queue_end;
        int chunk = amount < STREAM_CHUNK ? amount : STREAM_CHUNK;
        if (chunk > length - start)
            chunk = length - start;
        int index = voice->free_buffers[--voice->free_count];
        ALuint buffer = voice->buffers[index];
        alBufferData(buffer, AL_FORMAT_MONO8, voice->ring + start, chunk, voice->sample->rate);
        alSourceQueueBuffers(voice->source, 1, &buffer);
        int slot = (voice->queue_head + voice->queue_count) % STREAM_BUFFERS;
        voice->queued[slot] = index;
        voice->queued_start[slot] = start;
        voice->queued_length[slot] = chunk;
        voice->queue_count++;
        voice->queue_end = (start + chunk) % length;
        amount -= chunk;
    }
    ALint state = AL_STOPPED;
    alGetSourcei(voice->source, AL_SOURCE_STATE, &state);
    if (state != AL_PLAYING && voice->queue_count > 0)
        alSourcePlay(voice->source);   // first chunks, or a dry stream again
}

static int openal_position(AudioVoice *header)
{
    OpenalVoice *voice = (OpenalVoice *)header;
    if (voice->ring) {
        if (!voice->playing)
            return 0;
        unqueue_played(voice);
        return stream_position(voice, queue_offset(voice));
    }
    return queue_offset(voice);
}

static int openal_write(AudioVoice *header, int count, const uint8_t *bytes, int offset)
{
    OpenalVoice *voice = (OpenalVoice *)header;
    if (count < 0 || offset < 0 || !bytes)
        return 0;
    if (!voice->ring && !start_stream(voice))
        return 0;
    // The ring takes the bytes as the mixer's sample would.
    int64_t length = voice->sample->length;
    int64_t start = offset;
    int whole_ring = count >= length;
    if (count > length) {
        bytes += count - length;
        start = (int64_t)offset + count - length;
        count = (int)length;
    }
    start %= length;
    int first = (int)(length - start < count ? length - start : count);
    memcpy(voice->ring + start, bytes, (size_t)first);
    memcpy(voice->ring, bytes + first, (size_t)(count - first));
    if (voice->playing)
        feed_stream(voice, (int)((start + count) % length), whole_ring);
    return 1;
}

const AudioDriver openal_audio_driver = {
    openal_open,       openal_open_readback,   openal_close,       openal_update,
    openal_mix_readback_fragment, openal_create_voice, openal_duplicate_voice, openal_free_voice,
    openal_play,       openal_stop,            openal_set_rate,    openal_set_volume,
    openal_set_pan,    openal_set_loop,        openal_position,    openal_write,
};
