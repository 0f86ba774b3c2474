#pragma once

#include <QByteArray>
#include <QList>

// One channel's record as the scope holds it: raw 16-bit samples and what
// turns them into seconds and volts.
struct Waveform {
    // Samples per vertical division, so that full scale is a little over
    // five divisions either side of the centre line.
    static constexpr double CountsPerDivision = 6400.0;

    QByteArray channel; // "CH1"
    QList<qint16> samples;
    double sampleInterval = 1e-7;   // seconds
    double timeOfFirstSample = 0.0; // seconds, relative to the trigger
    double voltsPerDivision = 1.0;
    double offsetVolts = 0.0;

    double voltsPerCount() const { return voltsPerDivision / CountsPerDivision; }
    double volts(qsizetype i) const { return samples[i] * voltsPerCount() + offsetVolts; }
    double time(qsizetype i) const { return timeOfFirstSample + i * sampleInterval; }
};
