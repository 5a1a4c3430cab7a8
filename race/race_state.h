// The race's tic counter.
#pragma once

enum { TIC_RATE = 128 };
constexpr float TIC_LENGTH = 1.0f / 128.0f;

extern int current_tic;   // 0 at a race reset, plus 1 per race tic
