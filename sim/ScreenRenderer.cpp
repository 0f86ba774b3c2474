#include "ScreenRenderer.h"

#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <array>

namespace {

constexpr int Width = 800;
constexpr int Height = 480;
constexpr int Columns = 10;
constexpr int Rows = 8;
const QRect plot(40, 20, 720, 400);

struct Palette {
    QColor background;
    QColor grid;
    QColor text;
    std::array<QColor, 2> traces;
};

// One column of the plot per pixel: the smallest and largest sample that
// falls on it, so a long record still draws its full envelope.
QPolygonF envelope(const Waveform &waveform) {
    QPolygonF points;
    const qsizetype count = waveform.samples.size();
    if (count == 0)
        return points;
    const double pixelsPerCount = plot.height() / (Rows * Waveform::CountsPerDivision);
    const double centre = plot.center().y() + 0.5;
    points.reserve(plot.width() * 2);
    for (int x = 0; x < plot.width(); ++x) {
        const qsizetype first = x * count / plot.width();
        const qsizetype last = std::max(first + 1, (x + 1) * count / plot.width());
        const auto [low, high] =
            std::minmax_element(waveform.samples.begin() + first, waveform.samples.begin() + last);
        points << QPointF(plot.left() + x, centre - *low * pixelsPerCount)
               << QPointF(plot.left() + x, centre - *high * pixelsPerCount);
    }
    return points;
}

QString settingsLine(const QList<Waveform> &channels, quint64 acquisition) {
    QString line;
    for (const Waveform &w : channels)
        line += QStringLiteral("%1 %2 V/div   ")
                    .arg(QString::fromLatin1(w.channel))
                    .arg(w.voltsPerDivision);
    const double secondsPerDivision =
        channels.isEmpty()
            ? 0.0
            : channels.front().sampleInterval * channels.front().samples.size() / Columns;
    return line +
           QStringLiteral("%1 \u00b5s/div   Acq %2").arg(secondsPerDivision * 1e6).arg(acquisition);
}

} // namespace

QImage ScreenRenderer::render(const QList<Waveform> &channels, quint64 acquisition, Layout layout,
                              bool inkSaver) {
    const Palette palette = inkSaver ? Palette{Qt::white,
                                               QColor(190, 190, 190),
                                               Qt::black,
                                               {QColor(176, 112, 0), QColor(0, 80, 192)}}
                                     : Palette{Qt::black,
                                               QColor(90, 90, 90),
                                               Qt::white,
                                               {QColor(255, 230, 0), QColor(0, 220, 255)}};
    QImage image(Width, Height, QImage::Format_RGB32);
    image.fill(palette.background);
    QPainter painter(&image);

    painter.setPen(QPen(palette.grid, 1, Qt::DotLine));
    for (int i = 1; i < Columns; ++i)
        painter.drawLine(plot.left() + i * plot.width() / Columns, plot.top(),
                         plot.left() + i * plot.width() / Columns, plot.bottom());
    for (int i = 1; i < Rows; ++i)
        painter.drawLine(plot.left(), plot.top() + i * plot.height() / Rows, plot.right(),
                         plot.top() + i * plot.height() / Rows);
    painter.setPen(QPen(palette.grid, 1));
    painter.drawRect(plot);

    painter.setClipRect(plot);
    for (qsizetype i = 0; i < channels.size(); ++i) {
        painter.setPen(QPen(palette.traces[i % palette.traces.size()], 1));
        painter.drawPolyline(envelope(channels[i]));
    }
    painter.setClipping(false);

    painter.setPen(palette.text);
    painter.drawText(
        QRect(plot.left(), plot.bottom() + 8, plot.width(), Height - plot.bottom() - 8),
        Qt::AlignLeft | Qt::AlignVCenter, settingsLine(channels, acquisition));
    painter.end();

    if (layout == Layout::Portrait)
        return image.transformed(QTransform().rotate(90));
    return image;
}
