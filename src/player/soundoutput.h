// The sound output the players use, chosen once per process.
//
// A machine without any sound device is recognised before an audio library
// is asked (the libraries print their own failures on every attempt): then
// every movie plays without sound and one line says so.  Otherwise the
// system's choice (autoaudiosink) is probed once and its sink is made for
// every movie; a probe that finds only a silent stand-in counts as no device.
#pragma once

#include <string>

typedef struct _GstElement GstElement;

namespace qv {

// Where a sound device or server shows itself.
struct SoundPlaces {
  std::string pulseServer;  // PULSE_SERVER
  std::string runtimeDir;   // XDG_RUNTIME_DIR: "pulse/native", "pipewire-0"
  std::string home;         // HOME: ".asoundrc"
  std::string devSnd = "/dev/snd";               // ALSA playback devices "pcmC<c>D<d>p"
  std::string asoundConf = "/etc/asound.conf";   // the system's own ALSA set-up
};
SoundPlaces SoundPlacesFromEnvironment();

// Whether the machine may play sound: a sound server's socket, an ALSA
// playback device, or an ALSA set-up of the user's or the system's own
// (which may route sound elsewhere).  Reads the file system only.
bool SoundOutputLikely(const SoundPlaces& places);

// The line printed (once) when movies play without sound.
inline constexpr const char* kNoSoundNotice = "quorvex: no sound device: playing without sound";

// A new sink for one movie's sound: the system's output, or a silent sink
// that keeps time when there is none.  Any thread.
GstElement* MakeDefaultAudioSink();
// The silent sink.
GstElement* MakeSilentSink();

}  // namespace qv
