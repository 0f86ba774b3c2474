#pragma once

#include "ResourceSource.h"

#include <QString>

// The user's list of instruments: a UTF-8 text file with one descriptor per
// line. Blank lines and "#" comments (whole lines or after a descriptor) are
// ignored, and a line that is no valid descriptor is skipped rather than
// spoiling the whole list. A missing file lists nothing; a file that exists
// but cannot be read makes the source fail.
class InstrumentListFile : public ResourceSource {
public:
    explicit InstrumentListFile(const QString &path);

    std::optional<QStringList> descriptors() override;

    static QStringList parse(const QString &text);

private:
    QString m_path;
};
