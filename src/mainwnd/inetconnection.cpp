#include "mainwnd/inetconnection.h"

#include <curl/curl.h>

#include <chrono>

namespace qv {
namespace {

void InitCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Transfer {
  std::string body;
  size_t maxBytes = 0;
  bool overflow = false;
  const std::atomic<bool>* stop = nullptr;
};

size_t OnWrite(char* data, size_t size, size_t count, void* user) {
  auto* t = static_cast<Transfer*>(user);
  const size_t n = size * count;
  if (t->body.size() + n > t->maxBytes) {
    t->overflow = true;
    return 0;  // ends the transfer with a write error
  }
  t->body.append(data, n);
  return n;
}

int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto* t = static_cast<const Transfer*>(user);
  return t->stop && t->stop->load() ? 1 : 0;  // non-zero aborts
}

// One request; the HTTP status, or 0 when no answer came.
long Perform(const std::string& url, bool headOnly, Transfer& t, const HttpLimits& limits) {
  if (t.stop && t.stop->load()) return 0;
  InitCurlOnce();
  CURL* curl = curl_easy_init();
  if (!curl) return 0;
  curl_slist* headers = curl_slist_append(nullptr, "Accept: */*");
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
#if LIBCURL_VERSION_NUM >= 0x075700
  // An aborted transfer does not wait for a name lookup that hangs on a
  // dead network.
  curl_easy_setopt(curl, CURLOPT_QUICK_EXIT, 1L);
#endif
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 3L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, limits.connectMs);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, limits.totalMs);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, OnProgress);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &t);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnWrite);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &t);
  if (headOnly) curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
  if (t.maxBytes > 0) curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(t.maxBytes));
  long status = 0;
  if (curl_easy_perform(curl) == CURLE_OK) curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  curl_easy_cleanup(curl);
  curl_slist_free_all(headers);
  return status;
}

}  // namespace

std::optional<std::string> CurlGet(const std::string& url, size_t maxBytes, const HttpLimits& limits,
                                   const std::atomic<bool>* stop) {
  Transfer t;
  t.maxBytes = maxBytes;
  t.stop = stop;
  const long status = Perform(url, false, t, limits);
  if (status < 200 || status > 299 || t.overflow) return std::nullopt;
  return std::move(t.body);
}

bool CurlReachable(const std::string& url, const HttpLimits& limits, const std::atomic<bool>* stop) {
  Transfer t;
  t.stop = stop;
  return Perform(url, true, t, limits) != 0;
}

std::string SiteRoot(const std::string& url) {
  const size_t scheme = url.find("://");
  if (scheme == std::string::npos || scheme == 0) return {};
  const size_t hostStart = scheme + 3;
  const size_t hostEnd = url.find_first_of("/?#", hostStart);
  const std::string host = url.substr(hostStart, hostEnd == std::string::npos ? std::string::npos : hostEnd - hostStart);
  if (host.empty() || host.find_first_of("{}") != std::string::npos) return {};
  return url.substr(0, hostStart) + host + "/";
}

CInetConnectionAsync::~CInetConnectionAsync() { Stop(); }

void CInetConnectionAsync::StartProbe(const std::string& siteUrl, std::function<void(int)> report) {
  if (probeThread_.joinable() || stop_.load()) return;
  probeUrl_ = SiteRoot(siteUrl);
  report_ = std::move(report);
  probeThread_ = std::thread([this] { ProbeThreadProc(); });
}

void CInetConnectionAsync::ProbeNow() {
  {
    std::lock_guard<std::mutex> lock(wakeLock_);
    wakeNow_ = true;
  }
  wake_.notify_all();
}

void CInetConnectionAsync::SetProbeSwitch(int on) { probeSwitch_.store(on); }

void CInetConnectionAsync::ProbeThreadProc() {
  while (!stop_.load()) {
    ProbeConnection();
    std::unique_lock<std::mutex> lock(wakeLock_);
    wake_.wait_for(lock, std::chrono::milliseconds(kProbePeriodMs), [this] { return wakeNow_ || stop_.load(); });
    wakeNow_ = false;
  }
}

void CInetConnectionAsync::ProbeConnection() {
  const int on = switchSource_ ? switchSource_() : probeSwitch_.load();
  int result = 0;
  if (on && !probeUrl_.empty()) result = CurlReachable(probeUrl_, probeLimits_, &stop_) ? 1 : 0;
  if (stop_.load()) return;
  probeResult_.store(result);
  if (report_) report_(result);
}

void CInetConnectionAsync::StartUpdateCheck(const std::string& host, std::function<void()> ready) {
  if (updateStarted_.exchange(true)) return;
  StartCheckPart(updateThread_, host, std::move(ready),
                 [this, host](mainwnd::HttpFetch& fetch, mainwnd::UpdateNews& news) {
                   news.viewer = mainwnd::CheckViewerUpdate(host, fetch, &stop_);
                 });
}

void CInetConnectionAsync::StartCardCheck(const std::string& host, mainwnd::UpdateInputs in,
                                         std::function<void()> ready) {
  if (cardStarted_.exchange(true)) return;
  StartCheckPart(cardThread_, host, std::move(ready),
                 [this, host, in = std::move(in)](mainwnd::HttpFetch& fetch, mainwnd::UpdateNews& news) {
                   news = mainwnd::CheckCardUpdate(in, host, fetch, &stop_);
                 });
}

void CInetConnectionAsync::StartCheckPart(std::thread& thread, const std::string& host, std::function<void()> ready,
                                          std::function<void(mainwnd::HttpFetch&, mainwnd::UpdateNews&)> part) {
  if (stop_.load() || host.empty()) return;  // no update host: nothing leaves the machine
  {
    std::lock_guard<std::mutex> lock(resultLock_);
    ready_ = std::move(ready);
  }
  ++running_;
  thread = std::thread([this, part = std::move(part)] {
    struct Fetch : mainwnd::HttpFetch {
      CInetConnectionAsync* self;
      explicit Fetch(CInetConnectionAsync* s) : self(s) {}
      std::optional<std::string> Get(const std::string& url) override {
        return CurlGet(url, mainwnd::kDownloadMax, self->downloadLimits_, &self->stop_);
      }
    } fetch(this);
    mainwnd::UpdateNews found;
    part(fetch, found);
    if (found.firmware || found.viewer || found.gpsData) {
      std::lock_guard<std::mutex> lock(resultLock_);
      if (ready_ && !stop_.load()) {
        // Each part writes only its own items.
        if (found.firmware) news_.firmware = std::move(found.firmware);
        if (found.viewer) news_.viewer = std::move(found.viewer);
        if (found.gpsData) news_.gpsData = std::move(found.gpsData);
        ready_();
      }
    }
    --running_;
  });
}

std::string CInetConnectionAsync::Message() const {
  std::lock_guard<std::mutex> lock(resultLock_);
  return mainwnd::FormatUpdateMessage(news_);
}

void CInetConnectionAsync::Stop() {
  {
    std::lock_guard<std::mutex> lock(resultLock_);
    ready_ = nullptr;
  }
  {
    std::lock_guard<std::mutex> lock(wakeLock_);
    stop_.store(true);
  }
  wake_.notify_all();
  if (updateThread_.joinable()) updateThread_.join();
  if (cardThread_.joinable()) cardThread_.join();
  if (probeThread_.joinable()) probeThread_.join();
  probeResult_.store(0);
}

}  // namespace qv
