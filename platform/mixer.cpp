// The software mixer: resampling at creation, the level lists, the 31
// level tables, zero-crossing level changes and the fragment mix. Callers
// that share a mixer with another thread hold their mixer mutex around
// every call.
#include "platform/mixer.h"

#include "core/alloc.h"

#include <cstring>

static int8_t level_tables[MIXER_LEVELS][256];   // row 0 stays all zero
static int level_tables_built;

static void build_level_tables(void)
{
    if (level_tables_built)
        return;
    for (int level = 1; level < MIXER_LEVELS; level++)
        for (int byte = 0; byte < 256; byte++) {
            int s = byte - 128;
            int magnitude = s == 0 ? 0 : ((s < 0 ? -s : s) - 1) * level / 32;
            level_tables[level][byte] = (int8_t)(s < 0 ? -magnitude : magnitude);
        }
    level_tables_built = 1;
}

int mixer_level_value(int level, int byte)
{
    build_level_tables();
    if (level < 0 || level >= MIXER_LEVELS || byte < 0 || byte > 255)
        return 0;
    return level_tables[level][byte];
}

int init_mixer(MixerState *mixer, const AudioDriver *driver, int rate, int fragment_samples,
               int stereo, int budget)
{
    if (rate <= 0 || fragment_samples <= 0)
        return 0;
    build_level_tables();
    mixer->budget = budget;
    mixer->stereo = stereo ? 1 : 0;
    mixer->rate = rate;
    mixer->fragment_samples = fragment_samples;
    mixer->driver = driver;
    memset(mixer->lists, 0, sizeof mixer->lists);
    mixer->voices = nullptr;
    return 1;
}

// ---- level lists ----------------------------------------------------------------------

static void push_node(MixerState *mixer, int channel, MixerNode *node)
{
    MixerNode **head = &mixer->lists[channel][node->level];
    node->previous = nullptr;
    node->next = *head;
    if (*head)
        (*head)->previous = node;
    *head = node;
}

static void unlink_node(MixerState *mixer, int channel, MixerNode *node)
{
    if (node->previous)
        node->previous->next = node->next;
    else
        mixer->lists[channel][node->level] = node->next;
    if (node->next)
        node->next->previous = node->previous;
    node->next = node->previous = nullptr;
}

static void link_voice(MixerVoice *voice)
{
    push_node(voice->mixer, 0, &voice->nodes[0]);
    if (voice->flags & MIXER_STEREO)
        push_node(voice->mixer, 1, &voice->nodes[1]);
}

static void unlink_voice(MixerVoice *voice)
{
    unlink_node(voice->mixer, 0, &voice->nodes[0]);
    if (voice->flags & MIXER_STEREO)
        unlink_node(voice->mixer, 1, &voice->nodes[1]);
}

// Levels from volume and pan, moving a playing voice to its new lists.
static void update_levels(MixerVoice *voice)
{
    int linked = voice->flags & MIXER_LINKED;
    if (linked)
        unlink_voice(voice);
    int64_t volume = voice->volume, pan = voice->pan;
    voice->nodes[0].level = (int)(((0x7FFF - pan) * volume) >> 26);
    voice->nodes[1].level = (int)((volume * (pan + 0x8000)) >> 26);
    if (linked)
        link_voice(voice);
}

// ---- voices -----------------------------------------------------------------------------

static void add_to_mixer(MixerVoice *voice)
{
    MixerState *mixer = voice->mixer;
    voice->previous_voice = nullptr;
    voice->next_voice = mixer->voices;
    if (mixer->voices)
        mixer->voices->previous_voice = voice;
    mixer->voices = voice;
}

static void remove_from_mixer(MixerVoice *voice)
{
    if (voice->previous_voice)
        voice->previous_voice->next_voice = voice->next_voice;
    else
        voice->mixer->voices = voice->next_voice;
    if (voice->next_voice)
        voice->next_voice->previous_voice = voice->previous_voice;
}

static void release_sample(MixerSample *sample)
{
    if (sample && --sample->references <= 0)
        checked_free(sample);
}

MixerVoice *mixer_create_voice(MixerState *mixer, int length, const uint8_t *data, int rate)
{
    if (!data || length <= 0 || rate < 0)
        return nullptr;
    // 64 bits: a long sample times the output rate passes 2^32.
    int64_t resampled = rate == 0 ? length : (int64_t)length * mixer->rate / rate;
    if (resampled <= 0 || resampled > MIXER_LENGTH_MAX)
        return nullptr;
    MixerSample *sample = (MixerSample *)checked_malloc(sizeof(MixerSample) + (size_t)resampled + 3);
    MixerVoice *voice = (MixerVoice *)checked_calloc(1, sizeof(MixerVoice));
    if (!sample || !voice) {
        checked_free(sample);
        checked_free(voice);
        return nullptr;
    }
    sample->references = 1;
    sample->length = (int)resampled;
    sample->data = (uint8_t *)(sample + 1);
    // Output sample k is input sample floor(k * length / resampled).
    int64_t whole = length / resampled, remainder = length % resampled;
    int64_t index = 0, error = 0;
    for (int64_t k = 0; k < resampled; k++) {
        sample->data[k] = data[index];
        index += whole;
        error += remainder;
        if (error >= resampled) {
            error -= resampled;
            index++;
        }
    }
    memset(sample->data + resampled, 128, 3);

    voice->header.driver = mixer->driver;
    voice->mixer = mixer;
    voice->nodes[0].voice = voice->nodes[1].voice = voice;
    voice->sample_rate = mixer->rate;
    voice->rate = mixer->rate;
    voice->volume = 0x7FFF;
    voice->pan = 0;
    voice->flags = mixer->stereo ? MIXER_STEREO : 0;
    voice->sample = sample;
    if (!mixer->stereo)
        voice->pan = -0x8000;
    update_levels(voice);
    add_to_mixer(voice);
    return voice;
}

MixerVoice *mixer_duplicate_voice(MixerVoice *voice)
{
    MixerVoice *copy = (MixerVoice *)checked_malloc(sizeof(MixerVoice));
    if (!copy)
        return nullptr;
    *copy = *voice;
    copy->flags &= ~(MIXER_RESTART | MIXER_LINKED | MIXER_FINISHED);
    for (int channel = 0; channel < 2; channel++) {
        MixerNode *node = &copy->nodes[channel];
        node->voice = copy;
        node->next = node->previous = nullptr;
        node->previous_level = 0;
    }
    copy->sample->references++;
    add_to_mixer(copy);
    return copy;
}

void mixer_free_voice(MixerVoice *voice)
{
    if (voice->flags & MIXER_LINKED)
        unlink_voice(voice);
    remove_from_mixer(voice);
    release_sample(voice->sample);
    checked_free(voice);
}

void release_mixer_voices(MixerState *mixer)
{
    for (MixerVoice *voice = mixer->voices; voice; voice = voice->next_voice) {
        release_sample(voice->sample);
        voice->sample = nullptr;
        voice->header.driver = nullptr;
    }
    mixer->voices = nullptr;
    memset(mixer->lists, 0, sizeof mixer->lists);
}

int mixer_play_voice(MixerVoice *voice)
{
    voice->flags &= ~MIXER_FINISHED;
    voice->flags |= MIXER_RESTART;
    if (!(voice->flags & MIXER_LINKED)) {
        voice->flags |= MIXER_LINKED;
        link_voice(voice);
    }
    return 1;
}

int mixer_stop_voice(MixerVoice *voice)
{
    voice->flags |= MIXER_FINISHED;
    return 1;
}

int mixer_set_voice_rate(MixerVoice *voice, int rate)
{
    if (rate <= 0)
        return 0;
    voice->rate = rate;
    return 1;
}

int mixer_set_voice_volume(MixerVoice *voice, int volume)
{
    voice->volume = volume < 0 ? 0 : volume > 0x7FFF ? 0x7FFF : volume;
    update_levels(voice);
    return 1;
}

int mixer_set_voice_pan(MixerVoice *voice, int pan)
{
    if (!voice->mixer->stereo)
        pan = -0x8000;
    voice->pan = pan < -0x8000 ? -0x8000 : pan > 0x7FFF ? 0x7FFF : pan;
    update_levels(voice);
    return 1;
}

int mixer_set_voice_loop(MixerVoice *voice, int loop)
{
    voice->flags = (voice->flags & ~MIXER_LOOP) | (loop & 1 ? MIXER_LOOP : 0);
    return 1;
}

int mixer_get_voice_position(MixerVoice *voice)
{
    if ((voice->flags & MIXER_LINKED) && !(voice->flags & MIXER_RESTART))
        return (int)voice->nodes[0].position;
    return 0;
}

int mixer_write_voice_data(MixerVoice *voice, int count, const uint8_t *bytes, int offset)
{
    if (count < 0 || offset < 0 || !bytes)
        return 0;
    int64_t length = voice->sample->length;
    int64_t start = offset;
    if (count > length) {
        bytes += count - length;
        start = (int64_t)offset + count - length;
        count = (int)length;
    }
    start %= length;
    uint8_t *data = voice->sample->data;
    int first = (int)(length - start < count ? length - start : count);
    memcpy(data + start, bytes, (size_t)first);
    memcpy(data, bytes + first, (size_t)(count - first));
    return 1;
}

// ---- the fragment mix ----------------------------------------------------------------

// One output sample's step through the data: whole samples and a 31-bit
// fraction.
struct MixStep {
    int64_t whole;
    uint32_t fraction;
};

static MixStep voice_step(const MixerVoice *voice)
{
    int64_t f = voice->rate, r = voice->sample_rate;
    return MixStep{f / r, (uint32_t)((f % r) * ((int64_t)0x80000000 / r))};
}

static inline void advance(int64_t *position, uint32_t *fraction, MixStep step)
{
    *fraction += step.fraction;
    *position += step.whole + (*fraction >> 31);
    *fraction &= 0x7FFFFFFF;
}

// Past the end of the data: a looping voice wraps, however far it went;
// any other ends at the start. 1 when the voice ended. The other channel
// still plays its part of the fragment to the end.
static int wrap_or_finish(MixerVoice *voice, int64_t *position, uint32_t *fraction)
{
    int64_t length = voice->sample->length;
    if (*position < length)
        return 0;
    if (voice->flags & MIXER_LOOP) {
        *position %= length;
        return 0;
    }
    voice->flags |= MIXER_ENDED;
    *position = 0;
    *fraction = 0;
    return 1;
}

static void mix_node(MixerState *mixer, MixerNode *node, int32_t *accumulator, int audible)
{
    MixerVoice *voice = node->voice;
    const uint8_t *data = voice->sample->data;
    int64_t length = voice->sample->length;
    int n = mixer->fragment_samples;
    int target = audible && !(voice->flags & MIXER_FINISHED) ? node->level : 0;
    int previous = node->previous_level;
    int64_t position = node->position;
    uint32_t fraction = node->fraction;
    MixStep step = voice_step(voice);
    int i = 0, ended = 0;

    // A level change (or restart) waits for the waveform's next sign change.
    if (previous > 0 && (target != previous || (voice->flags & MIXER_RESTART))) {
        const int8_t *table = level_tables[previous];
        int sign = data[position] & 0x80;
        while (i < n && (data[position] & 0x80) == sign) {
            accumulator[i++] += table[data[position]];
            advance(&position, &fraction, step);
            // A restart starts over anyway: the end of the data only ends
            // the fade.
            if (position >= length && (voice->flags & (MIXER_RESTART | MIXER_LOOP)) == MIXER_RESTART)
                break;
            if ((ended = wrap_or_finish(voice, &position, &fraction)))
                break;
        }
    }
    node->previous_level = target;
    if (voice->flags & MIXER_RESTART) {
        position = 0;
        fraction = 0;
        ended = 0;
    }

    if (!(voice->flags & MIXER_FINISHED) && !ended && i < n) {
        if (target > 0) {
            const int8_t *table = level_tables[target];
            while (i < n) {
                // Reads that cannot pass the end, taken without a check.
                int64_t span = (length - 1 - position) / (step.whole + 1) + 1;
                if (span > n - i)
                    span = n - i;
                int32_t *out = accumulator + i;
                if (step.whole == 1 && step.fraction == 0) {
                    const uint8_t *in = data + position;
                    for (int64_t k = 0; k < span; k++)
                        out[k] += table[in[k]];
                    position += span;
                } else {
                    for (int64_t k = 0; k < span; k++) {
                        out[k] += table[data[position]];
                        advance(&position, &fraction, step);
                    }
                }
                i += (int)span;
                if (wrap_or_finish(voice, &position, &fraction))
                    break;
            }
        } else {
            int64_t f = voice->rate, r = voice->sample_rate;
            position += (int64_t)(n - i) * f / r;
            fraction = 0;
            wrap_or_finish(voice, &position, &fraction);
        }
    }
    node->position = position;
    node->fraction = fraction;
}

void mix_fragment(MixerState *mixer)
{
    int n = mixer->fragment_samples;
    memset(mixer->left, 0, sizeof(int32_t) * (size_t)n);
    if (mixer->stereo)
        memset(mixer->right, 0, sizeof(int32_t) * (size_t)n);

    int budget = mixer->budget;
    for (int level = MIXER_LEVELS - 1; level >= 0; level--) {
        MixerNode *left = mixer->lists[0][level];
        MixerNode *right = mixer->lists[1][level];
        while (left || right) {
            if (left) {
                int audible = budget > 0 && level > 0;
                budget -= audible;
                mix_node(mixer, left, mixer->left, audible);
                left = left->next;
            }
            if (right) {
                int audible = budget > 0 && level > 0;
                budget -= audible;
                mix_node(mixer, right, mixer->right, audible);
                right = right->next;
            }
        }
    }

    // The channels stay in step; finished voices leave the lists.
    for (int level = 0; level < MIXER_LEVELS; level++) {
        MixerNode *node = mixer->lists[0][level];
        while (node) {
            MixerNode *next = node->next;
            MixerVoice *voice = node->voice;
            voice->flags &= ~MIXER_RESTART;
            voice->nodes[1].position = voice->nodes[0].position;
            voice->nodes[1].fraction = voice->nodes[0].fraction;
            if (voice->flags & (MIXER_FINISHED | MIXER_ENDED)) {
                unlink_voice(voice);
                voice->flags &= ~(MIXER_FINISHED | MIXER_ENDED | MIXER_LINKED);
                // Nothing sounds any more: a later play has nothing to fade out.
                voice->nodes[0].previous_level = voice->nodes[1].previous_level = 0;
            }
            node = next;
        }
    }

    uint8_t *out = mixer->output;
    for (int i = 0; i < n; i++) {
        int32_t l = mixer->left[i];
        *out++ = (uint8_t)((l < -128 ? -128 : l > 127 ? 127 : l) + 128);
        if (mixer->stereo) {
            int32_t r = mixer->right[i];
            *out++ = (uint8_t)((r < -128 ? -128 : r > 127 ? 127 : r) + 128);
        }
    }
}
