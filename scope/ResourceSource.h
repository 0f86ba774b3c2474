#pragma once

#include "Transport.h"

#include <QStringList>
#include <memory>
#include <optional>

// One place that knows instrument descriptors (the instrument list file, a
// vendor VISA library, the USB instruments).
class ResourceSource {
public:
    virtual ~ResourceSource() = default;
    // The descriptors in the order they are to be tried; nullopt when the
    // source itself could not be read and the others may stand in for it.
    // A source whose failure must end the search throws instead.
    virtual std::optional<QStringList> descriptors() = 0;
    // The transport for a descriptor that this source must open itself;
    // nullptr leaves it to the transport its kind calls for.
    virtual std::unique_ptr<Transport> open(const QString &) { return nullptr; }
};
