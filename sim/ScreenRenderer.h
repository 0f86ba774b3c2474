#pragma once

#include "Waveform.h"

#include <QImage>

// Draws what the scope's screen shows: graticule, the channel traces and a
// line of settings, landscape (800 x 480) or turned for portrait (480 x 800).
// Ink saver draws dark on white instead of the screen's light on black.
class ScreenRenderer {
public:
    enum class Layout { Landscape, Portrait };

    static QImage render(const QList<Waveform> &channels, quint64 acquisition, Layout layout,
                         bool inkSaver);
};
