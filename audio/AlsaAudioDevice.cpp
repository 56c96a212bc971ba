#include "audio/AlsaAudioDevice.h"

#include <algorithm>

#include <alsa/asoundlib.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <mutex>
#include <vector>

namespace orvane {

namespace {

int64_t nowMicros()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void quietAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

snd_pcm_format_t pcmFormatOf(int bitsPerSample)
{
    switch (bitsPerSample) {
    case 8:
        return SND_PCM_FORMAT_U8;
    case 16:
        return SND_PCM_FORMAT_S16_LE;
    case 24:
        return SND_PCM_FORMAT_S24_3LE;
    case 32:
        return SND_PCM_FORMAT_S32_LE;
    default:
        return SND_PCM_FORMAT_UNKNOWN;
    }
}

struct HwParamsDeleter {
    void operator()(snd_pcm_hw_params_t* p) const { snd_pcm_hw_params_free(p); }
};
struct SwParamsDeleter {
    void operator()(snd_pcm_sw_params_t* p) const { snd_pcm_sw_params_free(p); }
};

} // namespace

void silenceAlsaOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(quietAlsaErrors); });
}

AlsaAudioDevice::AlsaAudioDevice(const String& pcmName, unsigned startPeriods)
    : pcmName_(pcmName), startPeriods_(startPeriods < 1 ? 1 : startPeriods > BufferPeriods / 2 ? BufferPeriods / 2 : startPeriods)
{
}

AlsaAudioDevice::~AlsaAudioDevice()
{
    close();
}

bool AlsaAudioDevice::fail(const char* what, int code)
{
    String text;
    text.format("%s (%s): %s", what, pcmName_.c_str(), snd_strerror(code));
    setError(text.c_str(), code);
    close();
    return false;
}

bool AlsaAudioDevice::openOutput(const AudioFormat& format)
{
    return open(false, format);
}

bool AlsaAudioDevice::openInput(const AudioFormat& format)
{
    return open(true, format);
}

bool AlsaAudioDevice::open(bool capture, const AudioFormat& format)
{
    close();
    silenceAlsaOnce();
    if (!format.isValid()) {
        setError("unsupported sample format", -EINVAL);
        return false;
    }
    format_ = format;
    capture_ = capture;
    int err = snd_pcm_open(&pcm_, pcmName_.c_str(), capture ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK, 0);
    if (err < 0) {
        pcm_ = nullptr;
        return fail("cannot open the PCM", err);
    }

    snd_pcm_hw_params_t* rawHw = nullptr;
    if ((err = snd_pcm_hw_params_malloc(&rawHw)) < 0)
        return fail("no memory for the hardware parameters", err);
    std::unique_ptr<snd_pcm_hw_params_t, HwParamsDeleter> hw(rawHw);
    if ((err = snd_pcm_hw_params_any(pcm_, hw.get())) < 0)
        return fail("no hardware configuration", err);
    // The plug layers of "default" convert the rate when the hardware cannot take it.
    snd_pcm_hw_params_set_rate_resample(pcm_, hw.get(), 1);
    if ((err = snd_pcm_hw_params_set_access(pcm_, hw.get(), SND_PCM_ACCESS_RW_INTERLEAVED)) < 0)
        return fail("interleaved access refused", err);
    if ((err = snd_pcm_hw_params_set_format(pcm_, hw.get(), pcmFormatOf(format.bitsPerSample))) < 0)
        return fail("sample format refused", err);
    if ((err = snd_pcm_hw_params_set_channels(pcm_, hw.get(), static_cast<unsigned>(format.channels))) < 0)
        return fail("channel count refused", err);
    if ((err = snd_pcm_hw_params_set_rate(pcm_, hw.get(), static_cast<unsigned>(format.sampleRate), 0)) < 0)
        return fail("sample rate refused", err);
    snd_pcm_uframes_t period =
        std::max<snd_pcm_uframes_t>(32, static_cast<snd_pcm_uframes_t>(format.sampleRate) * PeriodMillis / 1000);
    int dir = 0;
    if ((err = snd_pcm_hw_params_set_period_size_near(pcm_, hw.get(), &period, &dir)) < 0)
        return fail("period size refused", err);
    snd_pcm_uframes_t buffer = period * BufferPeriods;
    if ((err = snd_pcm_hw_params_set_buffer_size_near(pcm_, hw.get(), &buffer)) < 0)
        return fail("buffer size refused", err);
    if ((err = snd_pcm_hw_params(pcm_, hw.get())) < 0)
        return fail("hardware parameters refused", err);
    snd_pcm_hw_params_get_period_size(hw.get(), &period, &dir);
    snd_pcm_hw_params_get_buffer_size(hw.get(), &buffer);
    periodFrames_ = period;
    bufferFrames_ = buffer;

    snd_pcm_sw_params_t* rawSw = nullptr;
    if ((err = snd_pcm_sw_params_malloc(&rawSw)) < 0)
        return fail("no memory for the software parameters", err);
    std::unique_ptr<snd_pcm_sw_params_t, SwParamsDeleter> sw(rawSw);
    if ((err = snd_pcm_sw_params_current(pcm_, sw.get())) < 0)
        return fail("no software configuration", err);
    // Capture starts with the first read (threshold 1); playing once startPeriods are
    // queued, or with a start lead at once (the lead is written in one go, the block after it
    // follows within microseconds).
    snd_pcm_uframes_t start = startLead_ > 0 ? 1 : period * startPeriods_;
    start = std::min(start, buffer);
    if ((err = snd_pcm_sw_params_set_start_threshold(pcm_, sw.get(), capture ? 1 : start)) < 0)
        return fail("start threshold refused", err);
    if ((err = snd_pcm_sw_params_set_avail_min(pcm_, sw.get(), period)) < 0)
        return fail("minimum room refused", err);
    if ((err = snd_pcm_sw_params(pcm_, sw.get())) < 0)
        return fail("software parameters refused", err);
    if ((err = snd_pcm_prepare(pcm_)) < 0)
        return fail("cannot prepare the PCM", err);
    setError("", 0);
    return true;
}

bool AlsaAudioDevice::write(const uint8_t* data, size_t frames)
{
    if (!pcm_ || capture_) {
        setError("the device is not open for playing", -EBADFD);
        return false;
    }
    const size_t frameBytes = static_cast<size_t>(format_.bytesPerFrame());
    if (ranDry()) {
        // Quiet without an underrun: the stream is opened afresh and starts lead first, as
        // at the first write. (A sound server's stream that ran dry may otherwise wait for a
        // queue far above the lead before it plays again, and a drop and prepare do not
        // change its mind.)
        const unsigned long xruns = xruns_ + 1;
        const AudioFormat format = format_;
        if (!open(false, format))
            return false;
        xruns_ = xruns;
    }
    if (!leadIn())
        return false;
    while (frames > 0) {
        const snd_pcm_sframes_t written = snd_pcm_writei(pcm_, data, frames);
        if (written < 0) {
            // An underrun (the writer came late) or a suspend: recover and go on from a
            // small queue, as at the start; whatever was queued before has been heard.
            const int err = snd_pcm_recover(pcm_, static_cast<int>(written), 1);
            if (err < 0)
                return fail("write failed", err);
            ++xruns_;
            if (!leadIn())
                return false;
            continue;
        }
        data += static_cast<size_t>(written) * frameBytes;
        frames -= static_cast<size_t>(written);
    }
    if (startLead_ > 0) {
        snd_pcm_sframes_t delay = 0;
        if (snd_pcm_delay(pcm_, &delay) == 0 && delay >= 0)
            drainsAtMicros_ = nowMicros() + delay * 1000000 / format_.sampleRate;
        else
            drainsAtMicros_ = 0;
    }
    return true;
}

bool AlsaAudioDevice::ranDry() const
{
    return startLead_ > 0 && drainsAtMicros_ > 0 && snd_pcm_state(pcm_) == SND_PCM_STATE_RUNNING &&
           nowMicros() > drainsAtMicros_ + DryMarginMicros;
}

bool AlsaAudioDevice::leadIn()
{
    if (startLead_ == 0)
        return true;
    snd_pcm_state_t state = snd_pcm_state(pcm_);
    if (state == SND_PCM_STATE_XRUN) {
        const int err = snd_pcm_prepare(pcm_);
        if (err < 0)
            return fail("cannot prepare the PCM", err);
        ++xruns_;
        state = snd_pcm_state(pcm_);
    }
    if (state != SND_PCM_STATE_PREPARED)
        return true;
    return writeLead();
}

bool AlsaAudioDevice::writeLead()
{
    const std::vector<uint8_t> silence(startLead_ * static_cast<size_t>(format_.bytesPerFrame()),
                                       format_.bitsPerSample == 8 ? 0x80 : 0);
    size_t left = startLead_;
    const uint8_t* at = silence.data();
    while (left > 0) {
        const snd_pcm_sframes_t written = snd_pcm_writei(pcm_, at, left);
        if (written < 0) {
            const int err = snd_pcm_recover(pcm_, static_cast<int>(written), 1);
            if (err < 0)
                return fail("write failed", err);
            continue;
        }
        at += static_cast<size_t>(written) * static_cast<size_t>(format_.bytesPerFrame());
        left -= static_cast<size_t>(written);
    }
    return true;
}

long AlsaAudioDevice::read(uint8_t* data, size_t frames)
{
    if (!pcm_ || !capture_) {
        setError("the device is not open for recording", -EBADFD);
        return -1;
    }
    const size_t frameBytes = static_cast<size_t>(format_.bytesPerFrame());
    size_t done = 0;
    while (done < frames) {
        const snd_pcm_sframes_t got = snd_pcm_readi(pcm_, data + done * frameBytes, frames - done);
        if (got < 0) {
            // An overrun or a suspend: recover and read on; anything else ends the stream.
            const int err = snd_pcm_recover(pcm_, static_cast<int>(got), 1);
            if (err < 0) {
                fail("read failed", err);
                return -1;
            }
            ++xruns_;
            continue;
        }
        if (got == 0) {
            // Blocking reads do not come back empty unless the stream is gone.
            fail("the device gave nothing", -EIO);
            return -1;
        }
        done += static_cast<size_t>(got);
    }
    return static_cast<long>(done);
}

int64_t AlsaAudioDevice::pendingMillis()
{
    if (!pcm_ || capture_)
        return 0;
    snd_pcm_state_t state = snd_pcm_state(pcm_);
    if (state == SND_PCM_STATE_PREPARED) {
        // Less than one period queued: the threshold would never be reached.
        snd_pcm_sframes_t queued = 0;
        if (snd_pcm_delay(pcm_, &queued) < 0 || queued <= 0)
            return 0;
        if (snd_pcm_start(pcm_) < 0)
            return 0;
        state = snd_pcm_state(pcm_);
    }
    if (state != SND_PCM_STATE_RUNNING)
        return 0;
    snd_pcm_sframes_t delay = 0;
    if (snd_pcm_delay(pcm_, &delay) < 0 || delay <= 0)
        return 0;
    return format_.millisOf(delay);
}

long AlsaAudioDevice::queuedFrames()
{
    if (!pcm_)
        return -1;
    if (capture_) {
        const snd_pcm_sframes_t avail = snd_pcm_avail(pcm_);
        return avail < 0 ? -1 : static_cast<long>(avail);
    }
    const snd_pcm_state_t state = snd_pcm_state(pcm_);
    if (state != SND_PCM_STATE_RUNNING && state != SND_PCM_STATE_PREPARED)
        return 0;
    snd_pcm_sframes_t delay = 0;
    if (snd_pcm_delay(pcm_, &delay) < 0)
        return -1;
    return delay < 0 ? 0 : static_cast<long>(delay);
}

void AlsaAudioDevice::drain()
{
    if (pcm_ && !capture_)
        snd_pcm_drain(pcm_);
}

void AlsaAudioDevice::close()
{
    if (!pcm_)
        return;
    snd_pcm_drop(pcm_);
    snd_pcm_close(pcm_);
    pcm_ = nullptr;
}

} // namespace orvane
