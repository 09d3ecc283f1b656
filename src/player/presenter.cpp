#include "player/presenter.h"

#include <gst/app/gstappsink.h>
#include <gst/base/gstbasesink.h>
#include <gst/gst.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <numeric>

namespace qv {

namespace {

GstFlowReturn OnNewPreroll(GstAppSink*, gpointer user) {
  static_cast<CustomPresenter*>(user)->OnPreroll();
  return GST_FLOW_OK;
}

GstFlowReturn OnNewSample(GstAppSink*, gpointer user) {
  static_cast<CustomPresenter*>(user)->OnSampleQueued();
  return GST_FLOW_OK;
}

GstPadProbeReturn OnSinkBuffer(GstPad* pad, GstPadProbeInfo* info, gpointer user) {
  static_cast<CustomPresenter*>(user)->OnBufferAtPad(pad, GST_PAD_PROBE_INFO_BUFFER(info));
  return GST_PAD_PROBE_OK;
}

void OnEos(GstAppSink*, gpointer user) { static_cast<CustomPresenter*>(user)->OnEndOfStream(); }

GstPadProbeReturn OnSinkEvent(GstPad*, GstPadProbeInfo* info, gpointer user) {
  GstEvent* e = GST_PAD_PROBE_INFO_EVENT(info);
  auto* p = static_cast<CustomPresenter*>(user);
  if (GST_EVENT_TYPE(e) == GST_EVENT_FLUSH_START) p->OnFlushStart();
  else if (GST_EVENT_TYPE(e) == GST_EVENT_FLUSH_STOP) p->OnFlushStop();
  return GST_PAD_PROBE_OK;
}

GstPadProbeReturn OnSinkQuery(GstPad*, GstPadProbeInfo* info, gpointer user) {
  GstQuery* q = GST_PAD_PROBE_INFO_QUERY(info);
  if (GST_QUERY_TYPE(q) == GST_QUERY_ALLOCATION && static_cast<CustomPresenter*>(user)->OnAllocationQuery(q))
    return GST_PAD_PROBE_HANDLED;
  // The sink would wait for its queue to be taken, holding the lock that its
  // state changes take; the frames the presenter holds are not waited for
  // either.
  if (GST_QUERY_TYPE(q) == GST_QUERY_DRAIN) return GST_PAD_PROBE_HANDLED;
  return GST_PAD_PROBE_OK;
}

int64_t Gcd(int64_t a, int64_t b) {
  while (b != 0) {
    const int64_t t = a % b;
    a = b;
    b = t;
  }
  return a;
}

constexpr int64_t kNoShownTime = INT64_MIN;

bool ValidSource(const NormalizedRect& r) {
  return r.left <= r.right && r.top <= r.bottom && r.left >= 0.0f && r.top >= 0.0f && r.right <= 1.0f &&
         r.bottom <= 1.0f;
}

}  // namespace

CustomPresenter::CustomPresenter(std::shared_ptr<FramePool> frames)
    : frames_(frames ? std::move(frames) : std::make_shared<FramePool>()) {
  engine_.SetFramePool(frames_);
  segment_ = gst_segment_new();
  gst_segment_init(segment_, GST_FORMAT_TIME);
  std::deque<VideoSample*> holders{&holders_[0], &holders_[1]};
  pool_.Initialize(holders);
  scheduler_.SetCallback(this);
}

CustomPresenter::~CustomPresenter() {
  Shutdown();
  EndStreaming();
  Detach();
  pool_.Clear();
  if (prerollBuffer_) gst_buffer_unref(prerollBuffer_);
  if (padBuffer_) gst_buffer_unref(padBuffer_);
  gst_segment_free(segment_);
}

void CustomPresenter::Detach() {
  std::lock_guard<std::recursive_mutex> intake(intakeLock_);
  if (!appsink_) return;
  GstAppSinkCallbacks none{};
  gst_app_sink_set_callbacks(GST_APP_SINK(appsink_), &none, nullptr, nullptr);
  if (GstPad* pad = gst_element_get_static_pad(appsink_, "sink")) {
    if (probeId_) gst_pad_remove_probe(pad, probeId_);
    if (queryProbeId_) gst_pad_remove_probe(pad, queryProbeId_);
    if (bufferProbeId_) gst_pad_remove_probe(pad, bufferProbeId_);
    gst_object_unref(pad);
  }
  probeId_ = queryProbeId_ = bufferProbeId_ = 0;
  {
    std::lock_guard<std::mutex> l(sinkPadLock_);
    if (sinkPad_) gst_object_unref(sinkPad_);
    sinkPad_ = nullptr;
  }
  gst_object_unref(appsink_);
  appsink_ = nullptr;
  pipeline_ = nullptr;
}

void CustomPresenter::Attach(GstElement* appsink, GstElement* pipeline) {
  Detach();
  std::lock_guard<std::recursive_mutex> intake(intakeLock_);
  appsink_ = GST_ELEMENT(gst_object_ref(appsink));
  pipeline_ = pipeline;
  // The end of the stream is told at once: the presenter knows itself when
  // the frames before it are shown (the sink's own wait for that would hold
  // the lock its state changes take).
  g_object_set(appsink_, "wait-on-eos", FALSE, nullptr);
  GstAppSinkCallbacks callbacks{};
  callbacks.eos = OnEos;
  callbacks.new_preroll = OnNewPreroll;
  callbacks.new_sample = OnNewSample;
  gst_app_sink_set_callbacks(GST_APP_SINK(appsink_), &callbacks, this, nullptr);
  if (GstPad* pad = gst_element_get_static_pad(appsink_, "sink")) {
    probeId_ = gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_EVENT_FLUSH, OnSinkEvent, this, nullptr);
    queryProbeId_ = gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_QUERY_DOWNSTREAM, OnSinkQuery, this, nullptr);
    bufferProbeId_ = gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, OnSinkBuffer, this, nullptr);
    std::lock_guard<std::mutex> l(sinkPadLock_);
    sinkPad_ = pad;  // keeps the reference
  }
}

void CustomPresenter::BeginStreaming() { scheduler_.StartScheduler(this); }

void CustomPresenter::EndStreaming() { scheduler_.StopScheduler(); }

void CustomPresenter::BeginFlushing() { OnFlushStart(); }

void CustomPresenter::EndFlushing() { OnFlushStop(); }

void CustomPresenter::Shutdown() {
  shutdown_ = true;
  OnFlushStart();
}

void CustomPresenter::SetClockRunning(bool running) {
  clockRunning_ = running;
  if (running) scheduler_.Poke();
}

bool CustomPresenter::Refusing(uint32_t generation) const {
  return shutdown_ || flushing_ || generation_.load() != generation;
}

void CustomPresenter::OnPreroll() {
  // The frame the sink prerolls on is the last one that passed its pad, on
  // this same thread.  (The sink's own copy is not asked for: taking a frame
  // from the sink's queue on another thread forgets it.)
  GstBuffer* buffer = nullptr;
  {
    std::lock_guard<std::mutex> l(roomLock_);
    std::swap(buffer, padBuffer_);
  }
  GstPad* pad = nullptr;
  {
    std::lock_guard<std::mutex> l(sinkPadLock_);
    if (sinkPad_) pad = GST_PAD(gst_object_ref(sinkPad_));
  }
  if (buffer && pad) {
    GstCaps* caps = gst_pad_get_current_caps(pad);
    GstEvent* event = gst_pad_get_sticky_event(pad, GST_EVENT_SEGMENT, 0);
    const GstSegment* segment = nullptr;
    if (event) gst_event_parse_segment(event, &segment);
    GstSample* frame = gst_sample_new(buffer, caps, segment, nullptr);
    Accept(frame, true, generation_.load(), nullptr);
    gst_sample_unref(frame);
    if (event) gst_event_unref(event);
    if (caps) gst_caps_unref(caps);
  }
  if (buffer) gst_buffer_unref(buffer);
  if (pad) gst_object_unref(pad);
}

void CustomPresenter::OnSampleQueued() {
  if (hooks_.queued) hooks_.queued(*this);
  {
    std::lock_guard<std::mutex> l(roomLock_);
    ++waitingInSink_;
  }
  TakeFrames();
}

void CustomPresenter::OnBufferAtPad(GstPad* pad, GstBuffer* buffer) {
  WaitForRoom(pad);
  std::lock_guard<std::mutex> l(roomLock_);
  gst_buffer_replace(&padBuffer_, buffer);
}

void CustomPresenter::WaitForRoom(GstPad* pad) {
  const uint32_t gen = generation_.load();
  // A sink that needs a preroll (paused) takes the frame as its preroll or
  // holds it itself without the lock of its state changes.
  GstBaseSink* sink = GST_BASE_SINK(GST_PAD_PARENT(pad));
  std::unique_lock<std::mutex> l(roomLock_);
  // The sink's flags and the pad's are looked at again now and then: the
  // pipeline's state changes and a deactivation of the pad (on the way to
  // READY) come without a word to the presenter.
  while (waitingInSink_ > 0 && !sink->need_preroll && !Refusing(gen) && !GST_PAD_IS_FLUSHING(pad)) {
    roomFreed_.wait_for(l, std::chrono::milliseconds(20));
  }
}

void CustomPresenter::WakeRoomWaiters(bool sinkEmptied) {
  GstBuffer* old = nullptr;
  {
    std::lock_guard<std::mutex> l(roomLock_);
    if (sinkEmptied) {
      waitingInSink_ = 0;
      std::swap(old, padBuffer_);
    }
  }
  roomFreed_.notify_all();
  if (old) gst_buffer_unref(old);
}

void CustomPresenter::TakeFrames() {
  std::lock_guard<std::recursive_mutex> intake(intakeLock_);
  while (appsink_ && !shutdown_) {
    VideoSample* holder = nullptr;
    if (pool_.GetSample(&holder) != PoolResult::kOk) return;
    const uint32_t gen = generation_.load();
    GstSample* frame = gst_app_sink_try_pull_sample(GST_APP_SINK(appsink_), 0);
    if (!frame) {
      pool_.ReturnSample(holder);
      return;
    }
    {
      std::lock_guard<std::mutex> l(roomLock_);
      --waitingInSink_;
    }
    roomFreed_.notify_all();
    Accept(frame, false, gen, holder);
    gst_sample_unref(frame);
  }
}

void CustomPresenter::Accept(GstSample* frame, bool preroll, uint32_t gen, VideoSample* holder) {
  const auto giveBack = [&] {
    if (holder) pool_.ReturnSample(holder);
  };
  GstBuffer* buffer = Refusing(gen) ? nullptr : gst_sample_get_buffer(frame);
  if (!buffer) return giveBack();
  const GstSegment* segment = gst_sample_get_segment(frame);
  int64_t streamTime = GST_BUFFER_PTS_IS_VALID(buffer) ? static_cast<int64_t>(GST_BUFFER_PTS(buffer)) : 0;
  {
    std::lock_guard<std::mutex> l(segmentLock_);
    if (segment && segment->format == GST_FORMAT_TIME) {
      gst_segment_copy_into(segment, segment_);
      guint64 st = 0;
      const int sign = gst_segment_to_stream_time_full(segment, GST_FORMAT_TIME, streamTime, &st);
      if (sign != 0) streamTime = sign > 0 ? static_cast<int64_t>(st) : -static_cast<int64_t>(st);
    }
    if (frameRateNum_ == 0) {
      if (GstCaps* caps = gst_sample_get_caps(frame)) {
        int num = 0, den = 0;
        const GstStructure* s = gst_caps_get_structure(caps, 0);
        if (s && gst_structure_get_fraction(s, "framerate", &num, &den)) {}
        frameRateNum_ = num > 0 && den > 0 ? num : 30;
        frameRateDen_ = num > 0 && den > 0 ? den : 1;
        scheduler_.SetFrameRate(frameRateNum_, frameRateDen_);
      }
    }
    if (preroll) {
      // Only the first preroll after an open or a flush is shown at once; a
      // preroll on pausing comes again as a stream frame when playing resumes.
      if (prerolled_) return;
      if (prerollBuffer_) gst_buffer_unref(prerollBuffer_);
      prerollBuffer_ = gst_buffer_ref(buffer);
    } else if (buffer == prerollBuffer_) {
      // The preroll frame again, now as the first frame of playback: it is
      // already on screen.
      gst_buffer_unref(prerollBuffer_);
      prerollBuffer_ = nullptr;
      return giveBack();
    }
  }
  if (segment && segment->rate != scheduler_.ClockRate()) scheduler_.SetClockRate(static_cast<float>(segment->rate));
  if (preroll) {
    // Before the clock runs only this one frame is shown.
    engine_.PresentFrame(frame);
    prerolled_ = true;
    return;
  }
  holder->frame = gst_sample_ref(frame);
  holder->time = streamTime / 100;
  holder->duration = GST_BUFFER_DURATION_IS_VALID(buffer) ? static_cast<int64_t>(GST_BUFFER_DURATION(buffer)) / 100 : 0;
  holder->generation = gen;
  if (scheduler_.ScheduleSample(holder, false) != SchedResult::kOk) SampleDone(holder, false);
}

void CustomPresenter::PresentSample(VideoSample* sample, int64_t targetTime) {
  if (sample->generation != generation_.load() || shutdown_) return;
  engine_.PresentFrame(sample->frame);
  if (hooks_.painted) hooks_.painted(*this);
  {
    // A flush that began while the frame was painted has taken the position
    // back already (and waits for this thread to finish the frame).
    std::lock_guard<std::mutex> l(shownLock_);
    if (sample->generation != generation_.load() || shutdown_) return;
    shownTime_ = sample->time;
  }
  if (targetTime == 0 && sample->time != 0) return;  // presented at once, not timed
  // One reading of the clock for the lateness report and the figures.
  uint64_t running = 0;
  int64_t now = 0;
  if (!RunningNow(&running) || !StreamTimeAt(running, &now)) return;
  ReportLateness(sample, running);
  const float rate = std::fabs(scheduler_.ClockRate());
  const double lateMs = static_cast<double>(now - sample->time) / 10000.0 / (rate > 0 ? rate : 1.0f);
  const double frameMs = static_cast<double>(scheduler_.FrameDuration()) / 10000.0 / (rate > 0 ? rate : 1.0f);
  std::lock_guard<std::mutex> l(statsLock_);
  ++stats_.presented;
  stats_.latenessSumMs += lateMs;
  if (lateMs > stats_.latenessMaxMs) stats_.latenessMaxMs = lateMs;
  if (lateMs > frameMs) ++stats_.lateOverFrame;
}

void CustomPresenter::SampleDone(VideoSample* sample, bool presented) {
  if (!presented && !flushing_ && !shutdown_ && sample->generation == generation_.load()) {
    uint64_t running = 0;
    if (RunningNow(&running)) ReportLateness(sample, running);
    std::lock_guard<std::mutex> l(statsLock_);
    ++stats_.dropped;
  }
  if (sample->frame) {
    gst_sample_unref(sample->frame);
    sample->frame = nullptr;
  }
  pool_.ReturnSample(sample);
  TakeFrames();  // the next frame the sink holds
  CheckEndOfStream();
}

void CustomPresenter::OnFlushStart() {
  flushing_ = true;
  {
    std::lock_guard<std::mutex> l(shownLock_);
    ++generation_;
    shownTime_ = kNoShownTime;
  }
  endOfStream_ = false;
  WakeRoomWaiters(false);
  scheduler_.Flush();
  std::lock_guard<std::mutex> l(segmentLock_);
  if (prerollBuffer_) {
    gst_buffer_unref(prerollBuffer_);
    prerollBuffer_ = nullptr;
  }
}

void CustomPresenter::OnFlushStop() {
  // The sink empties its queue only after this: frames of the old position
  // still in it are let go here, while flushing, so that none is taken after.
  {
    std::lock_guard<std::recursive_mutex> intake(intakeLock_);
    while (GstSample* old = appsink_ ? gst_app_sink_try_pull_sample(GST_APP_SINK(appsink_), 0) : nullptr) {
      gst_sample_unref(old);
    }
  }
  WakeRoomWaiters(true);
  prerolled_ = false;
  endOfStream_ = false;
  if (!shutdown_) flushing_ = false;
}

bool CustomPresenter::OnAllocationQuery(GstQuery* query) { return frames_->AnswerAllocation(query); }

void CustomPresenter::OnEndOfStream() {
  if (shutdown_ || flushing_) return;
  endOfStream_ = true;
  CheckEndOfStream();
}

void CustomPresenter::CheckEndOfStream() {
  if (!endOfStream_.load() || pool_.AreSamplesPending()) return;
  {
    std::lock_guard<std::mutex> l(roomLock_);
    if (waitingInSink_ > 0) return;
  }
  if (endOfStream_.exchange(false) && ended_) ended_(generation_.load());
}

bool CustomPresenter::RunningNow(uint64_t* running) const {
  GstElement* pipeline = pipeline_.load();
  if (!clockRunning_ || !pipeline) return false;
  GstClock* clock = gst_element_get_clock(pipeline);
  if (!clock) return false;
  const GstClockTime now = gst_clock_get_time(clock);
  gst_object_unref(clock);
  const GstClockTime base = gst_element_get_base_time(pipeline);
  if (!GST_CLOCK_TIME_IS_VALID(now) || now < base) return false;
  *running = now - base;
  return true;
}

bool CustomPresenter::StreamTimeNow(int64_t* time) {
  uint64_t running = 0;
  return RunningNow(&running) && StreamTimeAt(running, time);
}

bool CustomPresenter::StreamTimeAt(uint64_t running, int64_t* time) {
  GstElement* pipeline = pipeline_.load();
  if (pipeline && GST_IS_PIPELINE(pipeline)) {
    const GstClockTime latency = gst_pipeline_get_latency(GST_PIPELINE(pipeline));
    if (GST_CLOCK_TIME_IS_VALID(latency)) running = running > latency ? running - latency : 0;
  }
  std::lock_guard<std::mutex> l(segmentLock_);
  guint64 position = 0;
  const int sign = gst_segment_position_from_running_time_full(segment_, GST_FORMAT_TIME, running, &position);
  if (sign == 0) return false;
  if (sign < 0) {
    *time = -static_cast<int64_t>(position / 100);
    return true;
  }
  guint64 stream = 0;
  const int s2 = gst_segment_to_stream_time_full(segment_, GST_FORMAT_TIME, position, &stream);
  if (s2 == 0) return false;
  *time = (s2 > 0 ? 1 : -1) * static_cast<int64_t>(stream / 100);
  return true;
}

void CustomPresenter::ReportLateness(const VideoSample* sample, uint64_t now) {
  if (!sample->frame) return;
  GstBuffer* buffer = gst_sample_get_buffer(sample->frame);
  const GstSegment* segment = gst_sample_get_segment(sample->frame);
  if (!buffer || !segment || segment->format != GST_FORMAT_TIME || !GST_BUFFER_PTS_IS_VALID(buffer)) return;
  const GstClockTime running = gst_segment_to_running_time(segment, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer));
  if (!GST_CLOCK_TIME_IS_VALID(running)) return;
  // Positive: late by that much running time.
  const GstClockTimeDiff diff = GST_CLOCK_DIFF(running, now);
  // A decoder told of lateness j drops what comes before timestamp + 2j +
  // one frame, which would freeze this picture beyond the clock (and apart
  // from the other camera's) for as long again.  It is told the jitter that
  // makes it drop only the frames already due.
  const GstClockTimeDiff frame = static_cast<GstClockTimeDiff>(scheduler_.FrameDuration()) * 100;
  const GstClockTimeDiff jitter = diff > frame ? (diff - frame) / 2 : std::min<GstClockTimeDiff>(diff, 0);
  double proportion = 1.0;
  const double frameRunning = static_cast<double>(frame) / std::fabs(segment->rate);
  if (diff > 0 && frameRunning > 0) proportion = std::min(4.0, 1.0 + static_cast<double>(diff) / frameRunning);
  GstPad* pad = nullptr;
  {
    std::lock_guard<std::mutex> l(sinkPadLock_);
    if (sinkPad_) pad = GST_PAD(gst_object_ref(sinkPad_));
  }
  if (!pad) return;
  gst_pad_push_event(pad, gst_event_new_qos(diff > 0 ? GST_QOS_TYPE_UNDERFLOW : GST_QOS_TYPE_OVERFLOW, proportion,
                                            jitter, running));
  gst_object_unref(pad);
}

bool CustomPresenter::ShownTime(int64_t* time) const {
  std::lock_guard<std::mutex> l(shownLock_);
  if (shownTime_ == kNoShownTime) return false;
  *time = shownTime_;
  return true;
}

PresenterResult CustomPresenter::SetVideoPosition(const NormalizedRect* source, const Rect* destination) {
  if (!source && !destination) return PresenterResult::kPointer;
  if (source && !ValidSource(*source)) return PresenterResult::kInvalidArg;
  if (destination && (destination->left > destination->right || destination->top > destination->bottom)) {
    return PresenterResult::kInvalidArg;
  }
  if (shutdown_) return PresenterResult::kShutdown;
  if (source) engine_.SetSourceRect(*source);
  if (destination) engine_.SetDestinationRect(*destination);
  // An unchanged rectangle repaints as well.
  engine_.RequestRepaint();
  return PresenterResult::kOk;
}

PresenterResult CustomPresenter::GetVideoPosition(NormalizedRect* source, Rect* destination) const {
  if (!source || !destination) return PresenterResult::kPointer;
  *source = engine_.SourceRect();
  *destination = engine_.DestinationRect();
  return PresenterResult::kOk;
}

bool CustomPresenter::GetNativeVideoSize(Size* size, Size* aspect) const {
  const Size s = engine_.VideoSize();
  if (s.width <= 0 || s.height <= 0) return false;
  if (size) *size = s;
  if (aspect) {
    const int64_t g = Gcd(s.width, s.height);
    *aspect = Size{static_cast<int>(s.width / g), static_cast<int>(s.height / g)};
  }
  return true;
}

PresenterResult CustomPresenter::RepaintVideo() {
  if (shutdown_) return PresenterResult::kShutdown;
  if (engine_.HasFrame()) engine_.RequestRepaint();
  return PresenterResult::kOk;
}

PresenterStats CustomPresenter::Stats() const {
  std::lock_guard<std::mutex> l(statsLock_);
  return stats_;
}

}  // namespace qv
