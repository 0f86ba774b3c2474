#include "IsfWriter.h"

#include <QLocale>
#include <QtEndian>

namespace {

QByteArray number(double value) {
    return QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
}

} // namespace

QByteArray IsfWriter::toBytes(const Waveform &waveform) {
    QByteArray file = "ISF 1;CHANNEL " + waveform.channel + ";RECORD_LENGTH " +
                      QByteArray::number(waveform.samples.size()) + ";SAMPLE_INTERVAL " +
                      number(waveform.sampleInterval) + ";FIRST_SAMPLE_TIME " +
                      number(waveform.timeOfFirstSample) + ";VOLTS_PER_DIVISION " +
                      number(waveform.voltsPerDivision) + ";OFFSET_VOLTS " +
                      number(waveform.offsetVolts) + ";VOLTS_PER_COUNT " +
                      number(waveform.voltsPerCount()) +
                      ";SAMPLE_FORMAT INT16;BYTE_ORDER LSB;CURVE ";
    return file + curveBlock(waveform);
}

QByteArray IsfWriter::curveBlock(const Waveform &waveform) {
    const QByteArray length = QByteArray::number(waveform.samples.size() * 2);
    QByteArray block = '#' + QByteArray::number(length.size()) + length;
    const qsizetype start = block.size();
    block.resize(start + waveform.samples.size() * 2);
    qToLittleEndian<qint16>(waveform.samples.constData(), waveform.samples.size(),
                            block.data() + start);
    return block;
}
