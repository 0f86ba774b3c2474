#pragma once

#include "AppPaths.h"
#include "ResourceSource.h"

#include <QList>
#include <memory>

class InstrumentListFile;
class UsbtmcDevices;
class VisaLibrary;

// Where start-up looks for instruments, in order: the user's own list, a
// vendor's VISA library if one is installed, then the USB instruments the
// usbtmc driver has bound.
class InstrumentSources {
public:
    explicit InstrumentSources(const AppPaths &paths);
    InstrumentSources(const QString &listPath, std::shared_ptr<VisaLibrary> visa,
                      std::shared_ptr<UsbtmcDevices> usb);

    QList<std::shared_ptr<ResourceSource>> all() const;
    // A search could never succeed: the list names nothing (or is not
    // there), no vendor library is installed and no USB instrument is bound.
    // A list that cannot be read is something to search: start-up then says
    // what is wrong with it.
    bool nothingToSearch() const;

private:
    std::shared_ptr<InstrumentListFile> m_list;
    std::shared_ptr<VisaLibrary> m_visa;
    std::shared_ptr<UsbtmcDevices> m_usb;
};
