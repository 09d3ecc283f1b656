// The program's network work, each on a thread of its own:
//  - the connection probe: once a second, while the map display is on, asks
//    the map tile host's root whether it answers, and reports 1 or 0;
//  - the update check: once per run, reads the version files on the update
//    host (updatecheck.h) and, when something is newer, keeps the news and
//    tells its owner; the card's part of it starts when the card is known.
//
// The update host is the settings file's UPDATE/HOST; empty (the default)
// means no check and no request.  The proxy is libcurl's, from the
// environment (http_proxy, https_proxy, no_proxy).  Downloads are capped,
// time out, and end at once when the object goes away: the destructor (and
// Stop) sets the stop flag, which every transfer's progress callback reads,
// so shutdown never waits on the network for more than a moment.
//
// Threads: the window thread constructs, starts, stops and reads; the probe
// thread calls the probe's report hook, the two check threads the ready hook.
// The switch, the result and the stop flag are atomics; the lock guards the
// news and the ready hook.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "mainwnd/updatecheck.h"

namespace qv {

// Time limits of one request, in milliseconds.
struct HttpLimits {
  long connectMs = 5000;
  long totalMs = 15000;
};

// HTTP(S) GET through libcurl: the body of a 2xx answer (at most `maxBytes`),
// nothing on an error status, a longer body, a time-out, a transport error
// or when `stop` is set during the transfer.  Any thread.
std::optional<std::string> CurlGet(const std::string& url, size_t maxBytes, const HttpLimits& limits,
                                   const std::atomic<bool>* stop);
// Whether the site at `url` answers at all (any HTTP status), without taking
// its body.
bool CurlReachable(const std::string& url, const HttpLimits& limits, const std::atomic<bool>* stop);
// The site root ("scheme://host[:port]/") of a URL or URL template; empty
// when it has no "scheme://host".
std::string SiteRoot(const std::string& url);

class CInetConnectionAsync {
 public:
  // Seconds between probes.
  static constexpr int kProbePeriodMs = 1000;

  CInetConnectionAsync() = default;
  virtual ~CInetConnectionAsync();
  CInetConnectionAsync(const CInetConnectionAsync&) = delete;
  CInetConnectionAsync& operator=(const CInetConnectionAsync&) = delete;

  // Starts the probe thread against the root of `siteUrl`.  `report`, when
  // given, gets every probe's result on the probe thread.  Once; later calls
  // do nothing.  The first probe runs at once.
  void StartProbe(const std::string& siteUrl, std::function<void(int)> report = {});
  // Asks for a probe now (the map command).
  void ProbeNow();

  // The update check against `host`, in two parts that each run once per
  // run, on a thread of their own: StartUpdateCheck the viewer's part (at
  // start-up), StartCardCheck the card's part with `in` (when the card's
  // format description has been read).  `ready` runs on a check thread
  // whenever a part found news; Message then holds the message for all the
  // news found so far.  An empty host starts nothing.
  void StartUpdateCheck(const std::string& host, std::function<void()> ready);
  void StartCardCheck(const std::string& host, mainwnd::UpdateInputs in, std::function<void()> ready);
  bool UpdateCheckStarted() const { return updateStarted_.load(); }
  bool CardCheckStarted() const { return cardStarted_.load(); }
  // Whether no part of the check is running.
  bool UpdateCheckDone() const { return running_.load() == 0; }
  // The message of the check ("" when nothing has news).
  std::string Message() const;

  // Ends both threads: transfers abort and the threads are joined.  The
  // ready hook is dropped first, so a late check tells nobody.  Idempotent.
  void Stop();

  // The probe's switch and result (1: the site answered at the last probe,
  // 0: not, or probing off).
  void SetProbeSwitch(int on);
  int ProbeSwitch() const { return probeSwitch_.load(); }
  int ProbeResult() const { return probeResult_.load(); }
  // Where the switch is read from instead of the own field (the map
  // wrapper's "map display on"); set before StartProbe.
  void SetSwitchSource(std::function<int()> source) { switchSource_ = std::move(source); }

  // Request limits (tests shorten them); set before starting.
  void SetLimits(HttpLimits probe, HttpLimits download) {
    probeLimits_ = probe;
    downloadLimits_ = download;
  }

 private:
  void ProbeThreadProc();
  void ProbeConnection();
  // Runs `part` on `thread` and, when it added news, tells the ready hook.
  void StartCheckPart(std::thread& thread, const std::string& host, std::function<void()> ready,
                      std::function<void(mainwnd::HttpFetch&, mainwnd::UpdateNews&)> part);

  std::thread probeThread_;
  std::thread updateThread_;
  std::thread cardThread_;
  std::atomic<bool> stop_{false};
  std::atomic<int> probeResult_{0};
  std::atomic<int> probeSwitch_{0};
  std::atomic<bool> updateStarted_{false};
  std::atomic<bool> cardStarted_{false};
  std::atomic<int> running_{0};
  std::function<int()> switchSource_;
  std::function<void(int)> report_;
  std::string probeUrl_;
  HttpLimits probeLimits_{3000, 5000};
  HttpLimits downloadLimits_{};

  std::mutex wakeLock_;
  std::condition_variable wake_;
  bool wakeNow_ = false;

  mutable std::mutex resultLock_;  // the ready hook and the news
  std::function<void()> ready_;
  mainwnd::UpdateNews news_;
};

}  // namespace qv
