#include "InstrumentSources.h"

#include "InstrumentListFile.h"
#include "UsbtmcDevices.h"
#include "VisaLibrary.h"

#include <exception>

InstrumentSources::InstrumentSources(const AppPaths &paths)
    : m_list(std::make_shared<InstrumentListFile>(paths.instrumentListFile()))
    , m_visa(VisaLibrary::load())
    , m_usb(std::make_shared<UsbtmcDevices>(QStringLiteral("/sys"), QStringLiteral("/dev"))) {}

QList<std::shared_ptr<ResourceSource>> InstrumentSources::all() const {
    return {m_list, m_visa, m_usb};
}

bool InstrumentSources::nothingToSearch() const {
    try {
        if (!m_list->descriptors().value_or(QStringList()).isEmpty())
            return false;
    } catch (const std::exception &) {
        return false;
    }
    return !m_visa->isLoaded() && m_usb->scan().isEmpty();
}
