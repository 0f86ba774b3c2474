#include "InstrumentSources.h"

#include "InstrumentListFile.h"
#include "UsbtmcDevices.h"
#include "VisaLibrary.h"

#include <exception>

InstrumentSources::InstrumentSources(const AppPaths &paths)
    : InstrumentSources(
          paths.instrumentListFile(), VisaLibrary::load(),
          std::make_shared<UsbtmcDevices>(QStringLiteral("/sys"), QStringLiteral("/dev"))) {}

InstrumentSources::InstrumentSources(const QString &listPath, std::shared_ptr<VisaLibrary> visa,
                                     std::shared_ptr<UsbtmcDevices> usb)
    : m_list(std::make_shared<InstrumentListFile>(listPath))
    , m_visa(std::move(visa))
    , m_usb(std::move(usb)) {}

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
