#pragma once

#include <QStringList>
#include <optional>

// One place that knows instrument descriptors (the instrument list file; a
// vendor VISA library or a USB scan later).
class ResourceSource {
public:
    virtual ~ResourceSource() = default;
    // The descriptors in the order they are to be tried; nullopt when the
    // source itself could not be read.
    virtual std::optional<QStringList> descriptors() = 0;
};
