#include "TransportFactory.h"

#include "SocketTransport.h"
#include "TransportError.h"
#include "UsbtmcTransport.h"
#include "Vxi11Transport.h"

std::unique_ptr<Transport> TransportFactory::create(const ResourceDescriptor &descriptor) {
    switch (descriptor.kind) {
    case ResourceDescriptor::Kind::Socket:
        return std::make_unique<SocketTransport>(descriptor.host, descriptor.port);
    case ResourceDescriptor::Kind::LanInstrument:
        return std::make_unique<Vxi11Transport>(descriptor.host, descriptor.deviceName);
    case ResourceDescriptor::Kind::UsbInstrument:
        return std::make_unique<UsbtmcTransport>(descriptor);
    }
    throw TransportError(QStringLiteral("unsupported resource type"));
}
