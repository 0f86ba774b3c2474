#include "TransportFactory.h"

#include "SocketTransport.h"
#include "TransportError.h"

std::unique_ptr<Transport> TransportFactory::create(const ResourceDescriptor &descriptor) {
    switch (descriptor.kind) {
    case ResourceDescriptor::Kind::Socket:
        return std::make_unique<SocketTransport>(descriptor.host, descriptor.port);
    case ResourceDescriptor::Kind::LanInstrument:
        throw TransportError(
            QStringLiteral("unsupported resource type: VXI-11 instruments (TCPIP::host::INSTR)"));
    case ResourceDescriptor::Kind::UsbInstrument:
        throw TransportError(QStringLiteral("unsupported resource type: USB instruments"));
    }
    throw TransportError(QStringLiteral("unsupported resource type"));
}
