#pragma once

#include "Waveform.h"

#include <array>
#include <optional>

// Makes the signals the simulated scope "measures": a damped sine burst
// with noise on CH1 and a square wave on CH2. Each acquisition looks a
// little different; the same seed and acquisition give the same samples.
class WaveformSource {
public:
    static constexpr int ChannelCount = 2;
    static constexpr double SecondsPerDivision = 100e-6;

    WaveformSource(int recordLength, quint64 seed);

    // Channel 1 or 2 of the given acquisition. The reference stays valid
    // until the next call for another acquisition.
    const Waveform &waveform(int channel, quint64 acquisition);

private:
    Waveform make(int channel, quint64 acquisition) const;

    int m_recordLength;
    quint64 m_seed;
    quint64 m_cachedAcquisition = 0;
    std::array<std::optional<Waveform>, ChannelCount> m_cache;
};
