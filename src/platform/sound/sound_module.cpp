// The sound module: WAV files through libsndfile, played on ALSA's default output.

#include "platform/sound/sound_module.h"

#include <alsa/asoundlib.h>
#include <sndfile.h>
#include <unistd.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace varnisk::platform {
namespace {

constexpr uint32_t kAsync = 0x1;
constexpr uint32_t kLoop = 0x8;

// Frames decoded and written per step; a stop request lands within one step.
constexpr sf_count_t kFramesPerStep = 2048;
// More channels than any sound card plays; a header claiming more is not believed.
constexpr int kMaxChannels = 64;
// How much the output buffers ahead, in microseconds.
constexpr unsigned kOutputLatencyUs = 200000;

// ALSA reports a missing sound card on standard error; the program says nothing of its
// own, and a missing output is an answer, not an error.
void SilentAlsaError(const char*, int, const char*, int, const char*, ...) {}

// One WAV file open in libsndfile, with the descriptor under it.
class WavFile {
 public:
  explicit WavFile(int fd) : fd_(fd) { file_ = sf_open_fd(fd, SFM_READ, &info_, SF_FALSE); }
  ~WavFile() {
    if (file_ != nullptr) sf_close(file_);
    close(fd_);
  }
  WavFile(const WavFile&) = delete;
  WavFile& operator=(const WavFile&) = delete;

  bool IsWav() const {
    if (file_ == nullptr) return false;
    const int container = info_.format & SF_FORMAT_TYPEMASK;
    return (container == SF_FORMAT_WAV || container == SF_FORMAT_WAVEX ||
            container == SF_FORMAT_RF64) &&
           info_.channels > 0 && info_.channels <= kMaxChannels && info_.samplerate > 0;
  }

  // Reads the next frames into buffer; 0 at the end, negative when the data is damaged.
  sf_count_t Read(std::vector<int16_t>& buffer) {
    buffer.resize(static_cast<size_t>(kFramesPerStep * info_.channels));
    const sf_count_t frames = sf_readf_short(file_, buffer.data(), kFramesPerStep);
    if (frames <= 0 && sf_error(file_) != SF_ERR_NO_ERROR) return -1;
    return frames;
  }

  // Whether the whole sound decodes: what "played" means when nothing can be heard.
  bool DecodesToEnd() {
    std::vector<int16_t> buffer;
    sf_count_t frames;
    while ((frames = Read(buffer)) > 0) {
    }
    return frames == 0;
  }

  bool Rewind() { return sf_seek(file_, 0, SEEK_SET) == 0; }
  const SF_INFO& info() const { return info_; }

 private:
  int fd_;
  SF_INFO info_{};
  SNDFILE* file_ = nullptr;
};

// ALSA's default output set up for the file's format, or null when there is none.
snd_pcm_t* OpenOutput(const SF_INFO& info) {
  snd_lib_error_set_handler(SilentAlsaError);
  snd_pcm_t* pcm = nullptr;
  if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, 0) < 0) return nullptr;
  if (snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED,
                         static_cast<unsigned>(info.channels),
                         static_cast<unsigned>(info.samplerate), 1, kOutputLatencyUs) < 0) {
    snd_pcm_close(pcm);
    return nullptr;
  }
  return pcm;
}

bool WriteFrames(snd_pcm_t* pcm, const int16_t* samples, sf_count_t frames, int channels) {
  while (frames > 0) {
    snd_pcm_sframes_t written =
        snd_pcm_writei(pcm, samples, static_cast<snd_pcm_uframes_t>(frames));
    if (written < 0) written = snd_pcm_recover(pcm, static_cast<int>(written), 1);
    if (written < 0) return false;
    samples += written * channels;
    frames -= written;
  }
  return true;
}

// Plays the file on the output until its end (again and again with loop) or until stop
// is set; closes the output.
void PlayOn(snd_pcm_t* pcm, WavFile& wav, bool loop, const std::atomic<bool>& stop) {
  std::vector<int16_t> buffer;
  const int channels = wav.info().channels;
  bool more = true;
  while (more && !stop) {
    sf_count_t total = 0;
    sf_count_t frames;
    while (!stop && (frames = wav.Read(buffer)) > 0) {
      if (!WriteFrames(pcm, buffer.data(), frames, channels)) break;
      total += frames;
    }
    // A sound without frames would loop without end and without sound.
    more = loop && total > 0 && wav.Rewind();
  }
  if (stop) {
    snd_pcm_drop(pcm);
  } else {
    snd_pcm_drain(pcm);
  }
  snd_pcm_close(pcm);
}

// The sound that plays on after its call returned. Made on the heap and never destroyed:
// a program that ends while a sound plays must not run a thread's destructor.
struct Playback {
  std::thread thread;
  std::atomic<bool> stop{false};
};
Playback* current = nullptr;

void StopCurrent() {
  if (current == nullptr) return;
  current->stop = true;
  current->thread.join();
  delete current;
  current = nullptr;
}

// Runs when the program unloads the module (or ends with it loaded): the sound stops,
// and ALSA's cached configuration is freed with the library that holds it instead of
// staying behind where nothing reaches it.
__attribute__((destructor)) void UnloadModule() {
  StopCurrent();
  snd_config_update_free_global();
}

}  // namespace
}  // namespace varnisk::platform

namespace varnisk::platform {
namespace {

int Play(int fd, uint32_t flags) {
  StopCurrent();
  auto wav = std::make_unique<WavFile>(fd);
  if (!wav->IsWav()) return kSoundInvalid;
  snd_pcm_t* pcm = OpenOutput(wav->info());
  if (pcm == nullptr) return wav->DecodesToEnd() ? kSoundNoOutput : kSoundInvalid;
  const bool loop = (flags & kLoop) != 0;
  if ((flags & kAsync) == 0 && !loop) {
    const std::atomic<bool> never{false};
    PlayOn(pcm, *wav, false, never);
    return kSoundPlayed;
  }
  // Published only once its thread runs, so that a stop never waits for a thread that
  // could not be started.
  auto playback = std::make_unique<Playback>();
  try {
    playback->thread = std::thread([pcm, loop, file = std::move(wav), p = playback.get()] {
      PlayOn(pcm, *file, loop, p->stop);
    });
  } catch (const std::exception&) {
    snd_pcm_close(pcm);
    return kSoundInvalid;
  }
  current = playback.release();
  return kSoundPlayed;
}

}  // namespace
}  // namespace varnisk::platform

// No exception may leave the module: one that did would end the program.
extern "C" int VarniskSoundPlay(int fd, uint32_t flags) {
  try {
    return varnisk::platform::Play(fd, flags);
  } catch (const std::exception&) {
    return varnisk::platform::kSoundInvalid;
  }
}

extern "C" void VarniskSoundStop(void) { varnisk::platform::StopCurrent(); }
