// The process's heap: how many allocation arenas its threads share.
#pragma once

namespace qv {

// At most this many arenas.  The C library otherwise gives each new thread
// its own, up to eight per core: the decoders', the streaming threads' and
// the web engine's threads (dozens over pair changes) then each keep
// megabytes that are free but not given back, and the resident memory rises
// with every pair opened.  Eight keeps allocation off a shared lock for the
// threads that matter (the two decoders, the window thread, the workers).
inline constexpr int kHeapArenas = 8;

// Sets the bound; call first thing in main, before any thread starts.  A
// MALLOC_ARENA_MAX set by the user stands.  Answers whether the bound was set.
bool BoundHeapArenas();

}  // namespace qv
