// A small pool of helper threads for independent jobs of one batch: the
// caller runs jobs too and returns once every job of the batch is done.
// Jobs of a batch must not depend on each other or on their order.
#pragma once

// The most helper threads the pool starts (besides the caller).
enum { WORK_POOL_THREAD_LIMIT = 3 };

// Runs job(context, i) for i from 0 to count - 1 and waits for all of them.
// With no helpers (or count 1) everything runs on the caller in order, and
// so it does while another thread's batch runs. Jobs must not start batches.
void run_work_batch(int count, void (*job)(void *context, int index), void *context);
// The helper threads to use, 0 to WORK_POOL_THREAD_LIMIT (clamped); the
// default is one fewer than the processors, within the limit. A change
// waits for a batch running on another thread.
void set_work_pool_threads(int count);
int get_work_pool_threads(void);
// One fewer than the processors, within the limit.
int default_work_pool_threads(void);
// Stops and joins the helpers (they start again on the next batch); waits
// for a batch running on another thread.
void stop_work_pool(void);
