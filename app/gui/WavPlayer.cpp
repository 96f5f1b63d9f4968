#include "app/gui/WavPlayer.h"

#include <alsa/asoundlib.h>
#include <sndfile.h>

#include <memory>
#include <vector>

namespace app {
namespace {

struct SndFileCloser {
    void operator()(SNDFILE* file) const { sf_close(file); }
};
struct PcmCloser {
    void operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
};

// A machine without a sound card is normal here (the sound is then skipped),
// so ALSA's own complaints on stderr at every alert are only noise.
void QuietAlsaReport(const char*, int, const char*, int, const char*, ...) {}

}  // namespace

WavResult PlayWavSync(const std::string& path) {
    SF_INFO info{};
    std::unique_ptr<SNDFILE, SndFileCloser> file(sf_open(path.c_str(), SFM_READ, &info));
    if (!file || info.channels <= 0 || info.samplerate <= 0)
        return WavResult::FileMissing;

    [[maybe_unused]] static const bool quiet = snd_lib_error_set_handler(QuietAlsaReport) == 0;
    snd_pcm_t* rawPcm = nullptr;
    if (snd_pcm_open(&rawPcm, "default", SND_PCM_STREAM_PLAYBACK, 0) < 0)
        return WavResult::NoDevice;
    std::unique_ptr<snd_pcm_t, PcmCloser> pcm(rawPcm);
    // 16-bit samples in the file's own layout; ALSA resamples when it must.
    if (snd_pcm_set_params(pcm.get(), SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED,
                           static_cast<unsigned>(info.channels),
                           static_cast<unsigned>(info.samplerate), 1, 200000) < 0)
        return WavResult::NoDevice;

    constexpr sf_count_t FramesPerChunk = 4096;
    std::vector<short> chunk(static_cast<size_t>(FramesPerChunk * info.channels));
    for (;;) {
        sf_count_t frames = sf_readf_short(file.get(), chunk.data(), FramesPerChunk);
        if (frames <= 0)
            break;
        const short* at = chunk.data();
        while (frames > 0) {
            snd_pcm_sframes_t written =
                snd_pcm_writei(pcm.get(), at, static_cast<snd_pcm_uframes_t>(frames));
            if (written < 0) {
                // An underrun or a suspend is recoverable; anything else ends the sound.
                if (snd_pcm_recover(pcm.get(), static_cast<int>(written), 1) < 0)
                    return WavResult::NoDevice;
                continue;
            }
            frames -= written;
            at += written * info.channels;
        }
    }
    snd_pcm_drain(pcm.get());
    return WavResult::Played;
}

}  // namespace app
