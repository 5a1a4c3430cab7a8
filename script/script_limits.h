// Limits of the track script engine: the heap cap, the CPU budgets of a load
// and of each hook call, the regexp step limit built into the engine (read
// by cmake/Duktape.cmake), and how much a script may put on the message line
// and in the log.
#pragma once

enum {
    SCRIPT_HEAP_CAP = 64 << 20,            // bytes of one heap, block headers included
    SCRIPT_LOAD_BUDGET_MS = 2000,          // thread CPU time of the prelude and the file
    SCRIPT_HOOK_BUDGET_MS = 20,            // thread CPU time of each frame or tic hook call
    SCRIPT_REGEXP_STEP_LIMIT = 10000000,   // steps of one regexp match
    SCRIPT_STOPPED_BLOCK_LIMIT = 65536,    // the largest block a stopped script still gets
    SCRIPT_MESSAGES_PER_SECOND = 8,        // lines of kz.message shown (and logged)
    SCRIPT_MESSAGE_LENGTH = 255,           // characters of one kz.message line
    SCRIPT_ERROR_LOG_LIMIT = 20,           // hook error lines logged per race
};
