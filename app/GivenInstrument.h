#pragma once

#include "ResourceSource.h"

// The one instrument named on the command line, as the only thing to search.
class GivenInstrument : public ResourceSource {
public:
    explicit GivenInstrument(QString descriptor)
        : m_descriptor(std::move(descriptor)) {}

    std::optional<QStringList> descriptors() override { return QStringList{m_descriptor}; }

private:
    QString m_descriptor;
};
