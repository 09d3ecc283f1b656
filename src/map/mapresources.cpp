// The map pages and the bundled map library in the program's resources.
#include <QtGlobal>

static void InitMapQrc() { Q_INIT_RESOURCE(map); }

namespace qv {

void InitMapResources() {
  static const bool done = [] {
    InitMapQrc();
    return true;
  }();
  (void)done;
}

}  // namespace qv
