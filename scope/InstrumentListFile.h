#pragma once

#include "ResourceSource.h"

#include <QString>

// The user's list of instruments: a UTF-8 text file with one descriptor per
// line. Blank lines and "#" comments (whole lines or after a descriptor) are
// ignored, and a line that is no valid descriptor is skipped rather than
// spoiling the whole list. A missing file lists nothing. A list that is there
// but is no regular file (a FIFO would block the read for good), is larger
// than MaxBytes or cannot be read throws std::runtime_error saying so: the
// user's own list being unusable ends the search.
class InstrumentListFile : public ResourceSource {
public:
    static constexpr qint64 MaxBytes = 1024 * 1024;

    explicit InstrumentListFile(const QString &path);

    std::optional<QStringList> descriptors() override;

    static QStringList parse(const QString &text);

private:
    QString m_path;
};
