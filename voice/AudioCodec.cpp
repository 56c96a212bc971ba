#include "voice/AudioCodec.h"

namespace orvane {

AudioCodec::~AudioCodec() = default;

FrameCodec::FrameCodec()
{
    scratch_.setCapacity(ScratchSamples);
}

int FrameCodec::encode8(const uint8_t* samples, int count, ByteArray& out, bool append)
{
    if (count < frameSamples()) {
        if (!append)
            out.setSize(0);
        return 0;
    }
    codec8::widen(samples, frameSamples(), scratch_);
    return encode16(scratch_.data(), scratch_.count(), out, append);
}

int FrameCodec::decode8(const uint8_t* bytes, int count, ByteArray& out, bool append)
{
    if (decode16(bytes, count, scratch_, false) == 0) {
        if (!append)
            out.setSize(0);
        return 0;
    }
    return codec8::appendNarrowed(scratch_, out, append);
}

int FrameCodec::encode16(const int16_t* samples, int count, ByteArray& out, bool append)
{
    if (!append)
        out.setSize(0);
    if (count < frameSamples())
        return 0;
    const int start = out.count();
    out.setSize(start + frameBytes());
    encodeFrame(samples, out.data() + start);
    return frameBytes();
}

int FrameCodec::decode16(const uint8_t* bytes, int count, SampleArray& out, bool append)
{
    if (!append)
        out.setSize(0);
    if (count != frameBytes())
        return 0;
    const int start = out.count();
    out.setSize(start + frameSamples());
    decodeFrame(bytes, out.data() + start);
    return frameSamples();
}

namespace codec8 {

void widen(const uint8_t* samples, int count, SampleArray& scratch)
{
    scratch.setSize(count > 0 ? count : 0);
    for (int i = 0; i < scratch.count(); ++i)
        scratch[i] = widenSample(samples[i]);
}

int appendNarrowed(const SampleArray& samples, ByteArray& out, bool append)
{
    if (!append)
        out.setSize(0);
    const int start = out.count();
    out.setSize(start + samples.count());
    for (int i = 0; i < samples.count(); ++i)
        out[start + i] = narrowSample(samples[i]);
    return samples.count();
}

} // namespace codec8

} // namespace orvane
