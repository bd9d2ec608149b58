#pragma once
// The C interface of the sound module (varnisk-sound.so), which decodes WAV files with
// libsndfile and plays them through ALSA. The program opens the module the first time a
// sound file is played, so that runs that play nothing never load either library, and
// finds these functions by name: the declarations below are the whole contract.

#include <cstdint>

extern "C" {

// Plays the WAV file open at descriptor fd (read-only, seekable); the module takes the
// descriptor over and closes it. flags are the platform's PlaySound flags: 1 (async)
// returns at once while the sound plays on, 8 (loop) repeats it until stopped and
// implies async, so that no call blocks for ever. A sound still playing is stopped first.
// Returns one of the VarniskSound... outcomes below.
int VarniskSoundPlay(int fd, uint32_t flags);

// Stops the sound that plays on, if there is one.
void VarniskSoundStop(void);

}  // extern "C"

namespace varnisk::platform {

inline constexpr char kSoundModuleName[] = "varnisk-sound.so";

// The file is no WAV file, or its sound data does not decode.
inline constexpr int kSoundInvalid = 0;
// The sound played (or, async, started) on the audio output.
inline constexpr int kSoundPlayed = 1;
// The file is a valid WAV file whose data decodes to the end, but no audio output opens.
inline constexpr int kSoundNoOutput = 2;

using SoundPlayFunction = decltype(&VarniskSoundPlay);
using SoundStopFunction = decltype(&VarniskSoundStop);

}  // namespace varnisk::platform
