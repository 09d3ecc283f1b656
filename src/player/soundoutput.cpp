#include "player/soundoutput.h"

#include <dirent.h>
#include <gst/gst.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace qv {
namespace {

bool Exists(const std::string& path) {
  struct stat st{};
  return !path.empty() && stat(path.c_str(), &st) == 0;
}

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

bool HasPlaybackDevice(const std::string& devSnd) {
  DIR* dir = opendir(devSnd.c_str());
  if (!dir) return false;
  bool found = false;
  while (dirent* e = readdir(dir)) {
    const size_t n = std::strlen(e->d_name);
    if (n > 4 && std::strncmp(e->d_name, "pcmC", 4) == 0 && e->d_name[n - 1] == 'p') {
      found = true;
      break;
    }
  }
  closedir(dir);
  return found;
}

// The factory of the sink autoaudiosink settles on; empty when it finds
// none but its silent stand-in.
std::string ProbeSystemSink() {
  GstElement* probe = gst_element_factory_make("autoaudiosink", nullptr);
  if (!probe) return {};
  gst_object_ref_sink(probe);
  std::string factory;
  if (gst_element_set_state(probe, GST_STATE_READY) != GST_STATE_CHANGE_FAILURE) {
    GstIterator* it = gst_bin_iterate_elements(GST_BIN(probe));
    GValue item = G_VALUE_INIT;
    if (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
      GstElementFactory* f = gst_element_get_factory(GST_ELEMENT(g_value_get_object(&item)));
      if (f) factory = GST_OBJECT_NAME(f);
      g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
  }
  gst_element_set_state(probe, GST_STATE_NULL);
  gst_object_unref(probe);
  if (factory == "fakesink" || factory == "fakeaudiosink") factory.clear();
  return factory;
}

}  // namespace

SoundPlaces SoundPlacesFromEnvironment() {
  SoundPlaces p;
  p.pulseServer = Env("PULSE_SERVER");
  p.runtimeDir = Env("XDG_RUNTIME_DIR");
  p.home = Env("HOME");
  return p;
}

bool SoundOutputLikely(const SoundPlaces& p) {
  if (!p.pulseServer.empty()) return true;
  if (!p.runtimeDir.empty() && (Exists(p.runtimeDir + "/pulse/native") || Exists(p.runtimeDir + "/pipewire-0")))
    return true;
  if (!p.home.empty() && Exists(p.home + "/.asoundrc")) return true;
  return Exists(p.asoundConf) || HasPlaybackDevice(p.devSnd);
}

GstElement* MakeSilentSink() {
  GstElement* sink = gst_element_factory_make("fakesink", nullptr);
  if (sink) g_object_set(sink, "sync", TRUE, nullptr);
  return sink;
}

GstElement* MakeDefaultAudioSink() {
  static const std::string factory = [] {
    std::string chosen = SoundOutputLikely(SoundPlacesFromEnvironment()) ? ProbeSystemSink() : std::string();
    if (chosen.empty()) std::fprintf(stderr, "%s\n", kNoSoundNotice);
    return chosen;
  }();
  if (!factory.empty()) {
    if (GstElement* sink = gst_element_factory_make(factory.c_str(), nullptr)) return sink;
  }
  return MakeSilentSink();
}

}  // namespace qv
