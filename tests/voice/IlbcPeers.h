#pragma once

// Peers and signals for the iLBC tests and benchmark: libavcodec's iLBC decoder, libgsm's
// GSM 06.10 coder, speech-like test signals and the measures that compare them.

extern "C" {
#include <gsm.h>
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace orvane::ilbc::testing {

// libavcodec's iLBC decoder; the frame size picks the mode.
class AvIlbcDecoder {
public:
    explicit AvIlbcDecoder(int bytesPerFrame) : bytes_(bytesPerFrame)
    {
        const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_ILBC);
        if (!codec)
            throw std::runtime_error("libavcodec has no iLBC decoder");
        ctx_ = avcodec_alloc_context3(codec);
        ctx_->sample_rate = 8000;
        av_channel_layout_default(&ctx_->ch_layout, 1);
        ctx_->block_align = bytesPerFrame;
        if (avcodec_open2(ctx_, codec, nullptr) < 0)
            throw std::runtime_error("cannot open libavcodec's iLBC decoder");
        packet_ = av_packet_alloc();
        frame_ = av_frame_alloc();
    }
    ~AvIlbcDecoder()
    {
        av_frame_free(&frame_);
        av_packet_free(&packet_);
        avcodec_free_context(&ctx_);
    }
    AvIlbcDecoder(const AvIlbcDecoder&) = delete;
    AvIlbcDecoder& operator=(const AvIlbcDecoder&) = delete;

    // Appends the decoded samples of one frame.
    void decode(const uint8_t* bytes, std::vector<float>& out)
    {
        if (av_new_packet(packet_, bytes_) < 0)
            throw std::runtime_error("av_new_packet");
        std::memcpy(packet_->data, bytes, bytes_);
        if (avcodec_send_packet(ctx_, packet_) < 0)
            throw std::runtime_error("avcodec_send_packet");
        av_packet_unref(packet_);
        while (avcodec_receive_frame(ctx_, frame_) == 0) {
            for (int i = 0; i < frame_->nb_samples; ++i) {
                if (frame_->format == AV_SAMPLE_FMT_S16)
                    out.push_back(reinterpret_cast<const int16_t*>(frame_->data[0])[i]);
                else if (frame_->format == AV_SAMPLE_FMT_FLT)
                    out.push_back(reinterpret_cast<const float*>(frame_->data[0])[i] * 32768.0f);
                else
                    throw std::runtime_error("unexpected sample format");
            }
            av_frame_unref(frame_);
        }
    }

private:
    int bytes_;
    AVCodecContext* ctx_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
};

// GSM 06.10 full rate through libgsm: 160 samples to 33 bytes and back.
class GsmCoder {
public:
    GsmCoder() : enc_(gsm_create()), dec_(gsm_create()) {}
    ~GsmCoder()
    {
        gsm_destroy(enc_);
        gsm_destroy(dec_);
    }
    GsmCoder(const GsmCoder&) = delete;
    GsmCoder& operator=(const GsmCoder&) = delete;

    void encode(const int16_t* samples, uint8_t* frame) { gsm_encode(enc_, const_cast<gsm_signal*>(samples), frame); }
    void decode(const uint8_t* frame, int16_t* samples) { gsm_decode(dec_, const_cast<gsm_byte*>(frame), samples); }

private:
    gsm enc_;
    gsm dec_;
};

inline std::vector<int16_t> toPcm(const std::vector<float>& x)
{
    std::vector<int16_t> out(x.size());
    for (size_t i = 0; i < x.size(); ++i)
        out[i] = static_cast<int16_t>(std::clamp(std::lround(x[i]), -32768L, 32767L));
    return out;
}

// Deterministic pseudo-random numbers in [0, 1).
class Random {
public:
    explicit Random(uint32_t seed) : state_(seed) {}
    float next()
    {
        state_ = state_ * 1664525u + 1013904223u;
        return static_cast<float>(state_ >> 8) / 16777216.0f;
    }

private:
    uint32_t state_;
};

// Speech-like: voiced stretches (a glottal pulse train with a gliding pitch through three
// formant resonators, under a syllable envelope), fricative noise bursts and pauses.
inline std::vector<float> speechLike(int samples, uint32_t seed)
{
    std::vector<float> out(samples, 0.0f);
    Random rnd(seed);
    const float fs = 8000.0f;
    struct Resonator {
        float f, bw, y1 = 0, y2 = 0;
        float step(float x)
        {
            const float r = std::exp(-3.14159265f * bw / 8000.0f);
            const float a1 = 2 * r * std::cos(2 * 3.14159265f * f / 8000.0f), a2 = -r * r;
            const float y = (1 - r) * x + a1 * y1 + a2 * y2;
            y2 = y1;
            y1 = y;
            return y;
        }
    };
    int pos = 0;
    while (pos < samples) {
        const int kind = static_cast<int>(rnd.next() * 10.0f);
        const int len = 800 + static_cast<int>(rnd.next() * 1600.0f);
        if (kind < 6) {
            Resonator r1{400 + 500 * rnd.next(), 80}, r2{1000 + 1200 * rnd.next(), 120}, r3{2400 + 600 * rnd.next(), 200};
            float pitch = 90 + 150 * rnd.next();
            const float glide = (rnd.next() - 0.5f) * 60.0f;
            float phase = 0.0f;
            for (int i = 0; i < len && pos < samples; ++i, ++pos) {
                const float f0 = pitch + glide * i / len;
                phase += f0 / fs;
                float excite = 0.0f;
                if (phase >= 1.0f) {
                    phase -= 1.0f;
                    excite = 1.0f;
                }
                excite += 0.02f * (rnd.next() - 0.5f);
                const float env = std::sin(3.14159265f * i / len);
                const float v = r1.step(excite) * 1.0f + r2.step(excite) * 0.6f + r3.step(excite) * 0.3f;
                out[pos] = 9000.0f * env * v;
            }
        } else if (kind < 8) {
            float prev = 0.0f;
            for (int i = 0; i < len / 2 && pos < samples; ++i, ++pos) {
                const float white = rnd.next() - 0.5f;
                const float v = white - 0.7f * prev;  // tilted to the high frequencies
                prev = white;
                out[pos] = 4000.0f * std::sin(3.14159265f * i / (len / 2)) * v;
            }
        } else {
            for (int i = 0; i < len / 2 && pos < samples; ++i, ++pos)
                out[pos] = 30.0f * (rnd.next() - 0.5f);
        }
    }
    return out;
}

// A phrase spoken by espeak-ng (Debian package espeak-ng), resampled from its 22050 Hz to
// 8000 Hz by a windowed sinc low-pass at 3600 Hz and scaled to a peak of 20000.
inline std::vector<float> spokenPhrase(const std::string& text)
{
    int fds[2];
    if (pipe(fds) != 0)
        throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::string program = "espeak-ng", stdoutFlag = "--stdout", speed = "-s", wpm = "150";
    std::string phrase = text;
    char* argv[] = {program.data(), stdoutFlag.data(), speed.data(), wpm.data(), phrase.data(), nullptr};
    pid_t pid;
    const int rc = posix_spawnp(&pid, "espeak-ng", &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
        close(fds[0]);
        throw std::runtime_error("espeak-ng is missing: install the Debian package espeak-ng");
    }
    std::vector<uint8_t> wav;
    uint8_t chunk[4096];
    ssize_t got;
    while ((got = read(fds[0], chunk, sizeof(chunk))) > 0)
        wav.insert(wav.end(), chunk, chunk + got);
    close(fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || wav.size() < 44 + 2)
        throw std::runtime_error("espeak-ng failed (Debian package espeak-ng)");
    // A canonical 44-byte header, 16-bit mono; espeak-ng streams, so the sizes are unset.
    std::vector<float> in((wav.size() - 44) / 2);
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = static_cast<int16_t>(wav[44 + 2 * i] | (wav[45 + 2 * i] << 8));
    const double ratio = 22050.0 / 8000.0;
    const double cutoff = 3600.0 / 22050.0;  // cycles per input sample
    const int half = 48;
    std::vector<float> out(static_cast<size_t>(in.size() / ratio));
    float peak = 1.0f;
    for (size_t n = 0; n < out.size(); ++n) {
        const double t = n * ratio;
        const long centre = static_cast<long>(t);
        double s = 0.0;
        for (long k = centre - half + 1; k <= centre + half; ++k) {
            if (k < 0 || k >= static_cast<long>(in.size()))
                continue;
            const double u = t - k;
            const double x = 2.0 * cutoff * u;
            const double sinc = std::fabs(x) < 1e-9 ? 1.0 : std::sin(3.14159265358979 * x) / (3.14159265358979 * x);
            const double window = 0.5 + 0.5 * std::cos(3.14159265358979 * u / half);
            s += in[k] * 2.0 * cutoff * sinc * window;
        }
        out[n] = static_cast<float>(s);
        peak = std::max(peak, std::fabs(out[n]));
    }
    for (float& v : out)
        v *= 20000.0f / peak;
    return out;
}

// A tone, a chirp from 200 to 3000 Hz, and a two-tone chord.
inline std::vector<float> tone(int samples, float hz, float amplitude)
{
    std::vector<float> out(samples);
    for (int i = 0; i < samples; ++i)
        out[i] = amplitude * std::sin(2.0f * 3.14159265f * hz * i / 8000.0f);
    return out;
}

inline std::vector<float> chirp(int samples, float from, float to, float amplitude)
{
    std::vector<float> out(samples);
    double phase = 0.0;
    for (int i = 0; i < samples; ++i) {
        const double f = from + (to - from) * i / samples;
        phase += 2.0 * 3.14159265358979 * f / 8000.0;
        out[i] = static_cast<float>(amplitude * std::sin(phase));
    }
    return out;
}

// Segmental SNR in dB over 160-sample segments of the reference that are not silent,
// each segment's SNR held to [-10, 35] dB; decoded is compared delay samples later.
inline double segmentalSnr(const std::vector<float>& reference, const std::vector<float>& decoded, int delay)
{
    double sum = 0.0;
    int count = 0;
    for (size_t s = 0; s + 160 + delay <= std::min(reference.size(), decoded.size()); s += 160) {
        double sig = 0.0, err = 0.0;
        for (int i = 0; i < 160; ++i) {
            const double r = reference[s + i];
            const double d = decoded[s + i + delay];
            sig += r * r;
            err += (r - d) * (r - d);
        }
        if (sig < 160.0 * 100.0 * 100.0)
            continue;
        const double snr = 10.0 * std::log10((sig + 1e-9) / (err + 1e-9));
        sum += std::clamp(snr, -10.0, 35.0);
        ++count;
    }
    return count ? sum / count : 0.0;
}

// SNR in dB of b against a over the whole signal.
inline double snr(const std::vector<float>& a, const std::vector<float>& b)
{
    double sig = 0.0, err = 0.0;
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
        sig += static_cast<double>(a[i]) * a[i];
        err += static_cast<double>(a[i] - b[i]) * (a[i] - b[i]);
    }
    return 10.0 * std::log10((sig + 1e-9) / (err + 1e-9));
}

}  // namespace orvane::ilbc::testing
