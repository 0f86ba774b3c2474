#pragma once

#include "ResourceDescriptor.h"
#include "Transport.h"

#include <memory>

// Picks the transport that reaches the instrument a descriptor names: a raw
// socket, VXI-11, or the usbtmc driver (found in /sys and /dev).
class TransportFactory {
public:
    static std::unique_ptr<Transport> create(const ResourceDescriptor &descriptor);
};
