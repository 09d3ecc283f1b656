// Built without GStreamer's include folders (no test runs it): the headers
// the windows include to reach the player must compile there, and must not
// define the pipeline's, presenter's, engine's or scheduler's types.
#include <type_traits>

namespace qv {
class CPlayer;
class CustomPresenter;
class PresentEngine;
class Scheduler;
}  // namespace qv

#include "player/playerapi.h"
#include "player/videopane.h"

// Each clashes with a declaration of the same name by an included header.
typedef int GstElement;
typedef int GstSample;
typedef int GstBuffer;
typedef int GstBus;
typedef int GMainContext;
typedef int GMainLoop;

namespace {
template <class T, class = void>
struct Defined : std::false_type {};
template <class T>
struct Defined<T, std::void_t<decltype(sizeof(T))>> : std::true_type {};
}  // namespace

static_assert(!Defined<qv::CPlayer>::value, "the player's header is included");
static_assert(!Defined<qv::CustomPresenter>::value, "the presenter's header is included");
static_assert(!Defined<qv::PresentEngine>::value, "the engine's header is included");
static_assert(!Defined<qv::Scheduler>::value, "the scheduler's header is included");
