#pragma once

#include "voice/AudioCodec.h"

struct gsm_state;

namespace orvane {

// GSM 06.10 full rate through libgsm: 160 samples to a 33-byte frame. The encoder and the
// decoder each have a state of their own: libgsm keeps filter history in its state that
// both directions would otherwise overwrite, mixing the two sound streams. A frame that
// libgsm refuses (its first nibble is not the GSM magic) decodes to 160 samples of
// silence, so that playing keeps its pace.
class GsmCodec : public FrameCodec {
public:
    static constexpr int FrameSamples = 160;
    static constexpr int FrameBytes = 33;

    GsmCodec();
    ~GsmCodec() override;
    GsmCodec(const GsmCodec&) = delete;
    GsmCodec& operator=(const GsmCodec&) = delete;

    void reset() override;
    int frameSamples() const override { return FrameSamples; }
    int frameBytes() const override { return FrameBytes; }

protected:
    void encodeFrame(const int16_t* samples, uint8_t* bytes) override;
    void decodeFrame(const uint8_t* bytes, int16_t* samples) override;

private:
    void destroyStates();

    gsm_state* encoder_ = nullptr;
    gsm_state* decoder_ = nullptr;
};

} // namespace orvane
