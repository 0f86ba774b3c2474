#pragma once

#include "ResourceDescriptor.h"
#include "Transport.h"

#include <memory>

// Picks the transport that reaches the instrument a descriptor names. Kinds
// with no transport yet fail with TransportError ("unsupported resource type").
class TransportFactory {
public:
    static std::unique_ptr<Transport> create(const ResourceDescriptor &descriptor);
};
