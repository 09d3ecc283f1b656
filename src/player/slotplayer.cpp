#include "player/slotplayer.h"

#include <gst/gst.h>
#include <gst/pbutils/pbutils.h>

#include <chrono>
#include <thread>

#include "player/presenter.h"

namespace qv {

namespace {

class GstSlotPlayer final : public SlotPlayer {
 public:
  GstSlotPlayer(const SlotWindow* window, PresenterFlags* saved, const PlayerOptions& options)
      : player_(window ? window->Port() : AppMessagePort(), window ? window->Port() : AppMessagePort(), saved,
                options) {}

  PlayerResult Open(const std::string& path, int64_t duration) override { return player_.Open(path, duration); }
  PlayerResult CloseSession() override { return player_.CloseSession(); }
  PlayerResult StartPlayback() override { return player_.StartPlayback(); }
  PlayerResult Pause() override { return player_.Pause(); }
  PlayerResult Seek(int64_t position) override { return player_.Seek(position); }
  PlayerResult SetRate(float rate) override { return player_.SetRate(rate); }
  PlayerResult SetVolume(int volume) override { return player_.SetVolume(volume); }
  bool GetPosition(int64_t* position) override { return player_.GetPosition(position); }
  int64_t Duration() const override { return player_.Duration(); }
  PlayerState State() const override { return player_.State(); }
  bool IsReady() const override { return player_.IsReady(); }

  void SetVideoPosition(const Rect& r) override { player_.SetVideoPosition(r.left, r.top, r.Width(), r.Height()); }
  bool GetVideoPosition(Rect* destination) override {
    CustomPresenter* p = player_.Presenter();
    NormalizedRect source;
    return p && p->GetVideoPosition(&source, destination) == PresenterResult::kOk;
  }
  bool GetNativeVideoSize(Size* size) override {
    CustomPresenter* p = player_.Presenter();
    return p && p->GetNativeVideoSize(size, nullptr);
  }
  void SetAspectRatioMode(int mode) override {
    if (CustomPresenter* p = player_.Presenter()) p->SetAspectRatioMode(mode);
  }
  bool RepaintVideo() override {
    CustomPresenter* p = player_.Presenter();
    return p && p->RepaintVideo() == PresenterResult::kOk;
  }
  QImage GetCurrentImage() override {
    CustomPresenter* p = player_.Presenter();
    return p ? p->GetCurrentImage() : QImage();
  }
  int ToggleMirror() override {
    CustomPresenter* p = player_.Presenter();
    return p ? (p->Engine().ToggleMirror() ? 1 : 0) : -1;
  }
  bool ReadFlags(PresenterFlags* flags) override {
    CustomPresenter* p = player_.Presenter();
    if (!p) return false;
    flags->mirror = p->Engine().Mirror() ? 1 : 0;
    flags->second = p->Engine().SecondFlag();
    return true;
  }
  CustomPresenter* Presenter() override { return player_.Presenter(); }

 private:
  CPlayer player_;
};

}  // namespace

SlotPlayerFactory GstSlotPlayerFactory(PlayerOptions options) {
  return [options](const SlotWindow* window, PresenterFlags* saved) -> std::unique_ptr<SlotPlayer> {
    return std::make_unique<GstSlotPlayer>(window, saved, options);
  };
}

void RealSleep(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

bool DiscoverFrameTiming(const std::string& path, double* framesPerSecond, double* durationSec) {
  EnsureGStreamer();
  GError* error = nullptr;
  gchar* uri = gst_filename_to_uri(path.c_str(), &error);
  if (!uri) {
    if (error) g_error_free(error);
    return false;
  }
  GstDiscoverer* discoverer = gst_discoverer_new(5 * GST_SECOND, &error);
  if (!discoverer) {
    if (error) g_error_free(error);
    g_free(uri);
    return false;
  }
  GstDiscovererInfo* info = gst_discoverer_discover_uri(discoverer, uri, &error);
  g_free(uri);
  if (error) g_error_free(error);
  bool found = false;
  if (info && gst_discoverer_info_get_result(info) == GST_DISCOVERER_OK) {
    *durationSec = static_cast<double>(gst_discoverer_info_get_duration(info)) / GST_SECOND;
    GList* streams = gst_discoverer_info_get_video_streams(info);
    for (GList* s = streams; s && !found; s = s->next) {
      auto* video = GST_DISCOVERER_VIDEO_INFO(s->data);
      const guint num = gst_discoverer_video_info_get_framerate_num(video);
      const guint den = gst_discoverer_video_info_get_framerate_denom(video);
      if (num > 0 && den > 0) {
        *framesPerSecond = static_cast<double>(num) / den;
        found = true;
      }
    }
    gst_discoverer_stream_info_list_free(streams);
  }
  if (info) g_object_unref(info);
  g_object_unref(discoverer);
  return found;
}

bool PlaybackPluginsPresent() {
  EnsureGStreamer();
  for (const char* name : {"playbin", "appsink", "videoconvert"}) {
    GstElementFactory* f = gst_element_factory_find(name);
    if (!f) return false;
    gst_object_unref(f);
  }
  return true;
}

}  // namespace qv
