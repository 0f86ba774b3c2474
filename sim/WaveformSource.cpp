#include "WaveformSource.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <random>

WaveformSource::WaveformSource(int recordLength, quint64 seed)
    : m_recordLength(std::max(recordLength, 2))
    , m_seed(seed) {}

const Waveform &WaveformSource::waveform(int channel, quint64 acquisition) {
    const int index = std::clamp(channel, 1, ChannelCount) - 1;
    if (acquisition != m_cachedAcquisition) {
        m_cache.fill(std::nullopt);
        m_cachedAcquisition = acquisition;
    }
    if (!m_cache[index])
        m_cache[index] = make(index + 1, acquisition);
    return *m_cache[index];
}

Waveform WaveformSource::make(int channel, quint64 acquisition) const {
    Waveform w;
    w.channel = "CH" + QByteArray::number(channel);
    w.sampleInterval = 10 * SecondsPerDivision / m_recordLength;
    w.timeOfFirstSample = -5 * SecondsPerDivision;
    w.voltsPerDivision = channel == 1 ? 0.5 : 1.0;

    std::mt19937_64 random(m_seed * 0x9E3779B97F4A7C15ull + acquisition * 4 + channel);
    std::uniform_real_distribution<double> spread(0.8, 1.2);
    const double amplitude = 1.2 * spread(random);
    const double frequency = 50e3 * spread(random);
    const double phase = 2 * std::numbers::pi * (spread(random) - 0.8);
    const double squareStart = 20e-6 * spread(random);
    std::normal_distribution<double> noise(0.0, channel == 1 ? 0.02 : 0.01);
    constexpr double dampingSeconds = 150e-6;
    constexpr double squarePeriod = 100e-6;

    w.samples.resize(m_recordLength);
    for (int i = 0; i < m_recordLength; ++i) {
        const double t = w.time(i);
        double volts = noise(random);
        if (channel == 1 && t >= 0)
            volts += amplitude * std::exp(-t / dampingSeconds) *
                     std::sin(2 * std::numbers::pi * frequency * t + phase);
        else if (channel == 2 && std::fmod(t - squareStart + 10, squarePeriod) < squarePeriod / 2)
            volts += 3.3;
        const double counts = std::round(volts / w.voltsPerCount());
        w.samples[i] = static_cast<qint16>(std::clamp(counts, -32768.0, 32767.0));
    }
    return w;
}
