#include "voice/VoiceMode.h"

#include "voice/DeltaCodec.h"
#include "voice/GsmCodec.h"
#include "voice/IlbcCodec.h"
#include "voice/Lpc10Codec.h"
#include "voice/MuLawCodec.h"

namespace orvane {

VoiceMode VoiceMode::parse(uint8_t mode)
{
    static const int rates[] = {8000, 11025, 22050, 44100};
    static const int frames[] = {1000, 800, 160, 160, 240, 800, 180};
    VoiceMode m;
    const int codec = mode & 0x1F;
    m.codec = codec <= 6 ? static_cast<Codec>(codec) : Codec::Unknown;
    m.samplesPerFrame = codec <= 6 ? frames[codec] : 0;
    m.sampleRate = rates[(mode >> 5) & 0x03];
    m.bitsPerSample = (mode & 0x80) ? 16 : 8;
    return m;
}

std::unique_ptr<AudioCodec> VoiceMode::createCodec() const
{
    switch (codec) {
    case Codec::Delta:
        return std::make_unique<DeltaCodec>();
    case Codec::Gsm:
        return std::make_unique<GsmCodec>();
    case Codec::MuLaw:
        return std::make_unique<MuLawCodec>();
    case Codec::Lpc10:
        return std::make_unique<Lpc10Codec>();
    case Codec::Ilbc20:
    case Codec::Ilbc30: {
        auto ilbc = std::make_unique<IlbcCodec>();
        ilbc->setFrameMode(codec == Codec::Ilbc20 ? 20 : 30);
        return ilbc;
    }
    case Codec::None:
    case Codec::Unknown:
        break;
    }
    return nullptr;
}

} // namespace orvane
