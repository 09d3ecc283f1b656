#include "platform/heap.h"

#include <malloc.h>

#include <cstdlib>

namespace qv {

bool BoundHeapArenas() {
  if (std::getenv("MALLOC_ARENA_MAX")) return false;
  return mallopt(M_ARENA_MAX, kHeapArenas) == 1;
}

}  // namespace qv
