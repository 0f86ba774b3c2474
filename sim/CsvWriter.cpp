#include "CsvWriter.h"

QByteArray CsvWriter::toBytes(const Waveform &waveform) {
    QByteArray file = "TIME (s)," + waveform.channel + " (V)\r\n";
    file.reserve(file.size() + waveform.samples.size() * 28);
    for (qsizetype i = 0; i < waveform.samples.size(); ++i) {
        file += QByteArray::number(waveform.time(i), 'f', 12);
        file += ',';
        file += QByteArray::number(waveform.volts(i), 'f', 6);
        file += "\r\n";
    }
    return file;
}
