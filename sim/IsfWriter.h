#pragma once

#include "Waveform.h"

// The scope's own binary waveform file: one line of "KEY value" pairs
// separated by ";" that says how to read the samples, ending in "CURVE "
// and the samples as an IEEE 488.2 definite-length block of signed 16-bit
// little-endian integers. volts = sample * VOLTS_PER_COUNT + OFFSET_VOLTS,
// seconds = FIRST_SAMPLE_TIME + index * SAMPLE_INTERVAL.
class IsfWriter {
public:
    static QByteArray toBytes(const Waveform &waveform);
    // "#<n><length><bytes>" holding the samples.
    static QByteArray curveBlock(const Waveform &waveform);
};
