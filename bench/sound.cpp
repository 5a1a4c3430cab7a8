// Sound: the software mixer (voice-seconds mixed per CPU second) and the
// engine synthesis (time per sample and per bike per 60 fps frame).
#include "app/shell.h"
#include "platform/audio.h"
#include "render/engine_sound.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <vector>

static const int OUTPUT_RATE = 44100;
static const int FRAGMENT = OUTPUT_RATE / 60;   // 735 samples

// A readback driver with room for every voice to be heard.
static int open_bench_audio(void)
{
    setenv("VOKE_OPTIONS", "[sound-channels:256]", 1);
    return open_readback_audio(0, OUTPUT_RATE, FRAGMENT);
}

// `voices` looping voices; `off_rate`: each at its own rate away from the
// output rate (the stepping path), else at the output rate (the copy path).
static std::vector<AudioVoice *> start_voices(int handle, int voices, bool off_rate, int volume)
{
    std::vector<uint8_t> data(30000);
    for (size_t i = 0; i < data.size(); i++)
        data[i] = (uint8_t)(128 + 100 * sin((double)i * 0.013));
    std::vector<AudioVoice *> out;
    for (int v = 0; v < voices; v++) {
        AudioVoice *voice = create_voice(handle, (int)data.size(), data.data(), 22050 + 500 * v);
        set_voice_loop(voice, 1);
        set_voice_volume(voice, volume);
        set_voice_pan(voice, -0x7000 + 0x380 * v);
        if (off_rate)
            set_voice_rate(voice, 31000 + 397 * v);
        play_voice(voice);
        out.push_back(voice);
    }
    return out;
}

// One iteration mixes one second of output.
static void mix_voices(benchmark::State &state)
{
    int voices = (int)state.range(0);
    bool off_rate = state.range(1) != 0;
    int volume = (int)state.range(2);
    int handle = open_bench_audio();
    std::vector<AudioVoice *> list = start_voices(handle, voices, off_rate, volume);
    for (auto _ : state)
        for (int f = 0; f < 60; f++)
            benchmark::DoNotOptimize(mix_readback_fragment(handle));
    state.counters["voice_seconds"] =
        benchmark::Counter((double)voices * (double)state.iterations(), benchmark::Counter::kIsRate);
    for (AudioVoice *voice : list)
        free_voice(voice);
    close_audio(handle);
}
// (voices, off the output rate, volume): heard, heard at the output rate, unheard
BENCHMARK(mix_voices)->Args({64, 1, 0x7FFF})->Args({64, 0, 0x7FFF})->Args({64, 1, 0})
    ->Unit(benchmark::kMillisecond);

// The synthesis alone: `bikes` engines, one 60 fps frame (735 samples each)
// per iteration, the play position moving on a frame at a time.
static void synthesize_frame(benchmark::State &state)
{
    int bikes = (int)state.range(0);
    for (int b = 0; b < bikes; b++)
        load_engine_sound(&engine_sounds[b], nullptr, nullptr);
    int position = 0;
    float rpm = 6000.0f;
    for (int warm = 0; warm < 8; warm++) {
        for (int b = 0; b < bikes; b++)
            synthesize_engine_samples(&engine_sounds[b], rpm, 1.0f, position);
        position = (position + FRAGMENT) & (ENGINE_RING - 1);
    }
    int64_t samples = 0;
    for (auto _ : state) {
        rpm = rpm > 11000.0f ? 3000.0f : rpm + 7.0f;   // a rising engine
        for (int b = 0; b < bikes; b++)
            samples += synthesize_engine_samples(&engine_sounds[b], rpm + 13.0f * b, 1.0f, position);
        position = (position + FRAGMENT) & (ENGINE_RING - 1);
    }
    state.counters["samples_per_bike_frame"] =
        (double)samples / ((double)state.iterations() * bikes);
    state.counters["ns_per_sample"] =
        benchmark::Counter((double)samples * 1e-9, benchmark::Counter::kIsRate |
                                                       benchmark::Counter::kInvert);
    state.counters["us_per_bike_frame"] = benchmark::Counter(
        (double)state.iterations() * bikes * 1e-6,
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(synthesize_frame)->Arg(1)->Arg(40)->Unit(benchmark::kMicrosecond);

// The whole frame of 40 engines through the readback driver: synthesis,
// bytes to the voices, and the fragment mix that plays them.
static void generate_frame_with_voices(benchmark::State &state)
{
    audio_handle = open_bench_audio();
    for (int b = 0; b < 40; b++) {
        load_engine_sound(&engine_sounds[b], nullptr, nullptr);
        set_voice_volume(engine_sounds[b].voice, 0x4000);
        set_voice_rate(engine_sounds[b].voice, 44100 + 50 * b);
    }
    for (auto _ : state) {
        for (int b = 0; b < 40; b++)
            generate_engine_sound(&engine_sounds[b], 7000.0f + 10.0f * b, 1.0f);
        benchmark::DoNotOptimize(mix_readback_fragment(audio_handle));
    }
    for (int b = 0; b < 40; b++)
        free_engine_sound(&engine_sounds[b]);
    close_audio(audio_handle);
    audio_handle = 0;
}
BENCHMARK(generate_frame_with_voices)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
