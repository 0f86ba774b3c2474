#pragma once

#include "RunPreferences.h"

// The preference set as plain fields: the program's defaults, except counter
// stems so that file names are predictable.
class FakeRunPreferences : public RunPreferences {
public:
    int chkUseTimestamps() const override { return 0; }
    int hsDelay() const override { return delay; }
    int chkAsk() const override { return ask; }
    int chkStopAfter() const override { return stopAfter; }
    double acqLimit() const override { return limit; }
    int chkWFM() const override { return wfm; }
    int chkASCII() const override { return ascii; }
    int chkScreen() const override { return screen; }
    int chkRestoreRun() const override { return restoreRun; }
    QString WFMfspec() const override { return wfmFspec; }
    QString ASCIIfspec() const override { return asciiFspec; }
    QString ScreenFspec() const override { return screenFspec; }
    QString FileType() const override { return QStringLiteral("SAV:IMAG:FILEF PNG"); }
    QString Layout() const override { return QStringLiteral("SAV:IMAG:LAY LAN"); }
    QString InkSaver() const override { return QStringLiteral("SAV:IMAG:INKS ON"); }
    QString fileTypeText() const override { return QStringLiteral("PNG"); }

    int delay = 0;
    int ask = 0;
    int stopAfter = 1;
    double limit = 10;
    int wfm = 1;
    int ascii = 0;
    int screen = 0;
    int restoreRun = 1;
    QString wfmFspec = QStringLiteral("E:\\my_ISFs_");
    QString asciiFspec = QStringLiteral("E:\\my_CSVs_");
    QString screenFspec = QStringLiteral("E:\\my_Images_");
};
