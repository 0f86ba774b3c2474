#pragma once

#include "Waveform.h"

// A waveform as a spreadsheet file: a header row, then one "time,volts" row
// per sample in plain decimal (no exponents), seconds and volts.
class CsvWriter {
public:
    static QByteArray toBytes(const Waveform &waveform);
};
