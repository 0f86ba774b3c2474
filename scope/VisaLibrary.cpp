#include "VisaLibrary.h"

#include "AbandonableCall.h"
#include "TransportError.h"
#include "VisaTransport.h"

using namespace VisaApi;

namespace {

struct Listing {
    ViStatus managerStatus = Success;
    ViSession manager = 0;
    // nullopt when the library refused the listing.
    std::optional<QStringList> listed;
};

// Opens the resource manager if it is not open yet, and lists every resource,
// up to MaxResources of them. Touches nothing but its arguments, since it may
// be abandoned.
Listing listAll(const VisaLibrary::Calls &calls, std::optional<ViSession> manager) {
    Listing listing;
    if (manager) {
        listing.manager = *manager;
    } else {
        listing.managerStatus = calls.openDefaultRM(&listing.manager);
        if (listing.managerStatus < Success)
            return listing;
    }
    char name[BufferLength] = {};
    ViFindList found = 0;
    ViUInt32 count = 0;
    const ViStatus status = calls.findRsrc(listing.manager, "?*", &found, &count, name);
    if (status == ErrorResourceNotFound)
        listing.listed = QStringList();
    if (status < Success)
        return listing;
    const auto take = [&name] {
        return QString::fromLatin1(name, qstrnlen(name, sizeof name)).trimmed();
    };
    listing.listed = QStringList{take()};
    const ViUInt32 taken = std::min(count, VisaLibrary::MaxResources);
    for (ViUInt32 i = 1; i < taken && calls.findNext(found, name) >= Success; ++i)
        *listing.listed << take();
    calls.close(found);
    return listing;
}

} // namespace

QStringList VisaLibrary::defaultNames() {
#ifdef _WIN32
    return {QStringLiteral("visa64.dll"), QStringLiteral("visa32.dll")};
#else
    return {QStringLiteral("libvisa.so"), QStringLiteral("libvisa.so.0")};
#endif
}

std::shared_ptr<VisaLibrary> VisaLibrary::load(const QStringList &candidates) {
    std::shared_ptr<VisaLibrary> library(new VisaLibrary);
    for (const QString &name : candidates) {
        if (library->tryLoad(name))
            break;
    }
    return library;
}

VisaLibrary::~VisaLibrary() {
    if (m_manager)
        m_calls.close(*m_manager);
}

bool VisaLibrary::tryLoad(const QString &name) {
    m_library.setFileName(name);
    if (!m_library.load())
        return false;
    const auto resolve = [this](auto &call, const char *symbol) {
        call = reinterpret_cast<std::remove_reference_t<decltype(call)>>(m_library.resolve(symbol));
        return call != nullptr;
    };
    Calls calls;
    resolve(calls.statusDesc, "viStatusDesc");
    const bool complete =
        resolve(calls.openDefaultRM, "viOpenDefaultRM") && resolve(calls.findRsrc, "viFindRsrc") &&
        resolve(calls.findNext, "viFindNext") && resolve(calls.open, "viOpen") &&
        resolve(calls.close, "viClose") && resolve(calls.setAttribute, "viSetAttribute") &&
        resolve(calls.write, "viWrite") && resolve(calls.read, "viRead") &&
        resolve(calls.clear, "viClear");
    if (!complete) {
        m_library.unload();
        return false;
    }
    m_calls = calls;
    m_loaded = true;
    return true;
}

ViSession VisaLibrary::resourceManager() {
    if (!m_loaded)
        throw TransportError(QStringLiteral("no VISA library is installed"));
    if (!m_manager) {
        ViSession session = 0;
        const ViStatus status = m_calls.openDefaultRM(&session);
        if (status < Success)
            throw TransportError(
                QStringLiteral("the VISA resource manager did not open: %1").arg(describe(status)));
        m_manager = session;
    }
    return *m_manager;
}

std::optional<VisaLibrary::Opened> VisaLibrary::openSession(const QByteArray &descriptor,
                                                            std::chrono::milliseconds limit) {
    const ViSession manager = resourceManager();
    if (m_opening.load(std::memory_order_acquire))
        throw TransportError(QStringLiteral(
            "the VISA library has not returned from an earlier open that timed out"));
    m_opening.store(true, std::memory_order_relaxed);
    // The call holds the library, so it stays loaded for an open that never
    // returns.
    return abandonableCall<Opened>(
        limit,
        [library = shared_from_this(), manager, descriptor] {
            Opened opened;
            opened.status =
                library->m_calls.open(manager, descriptor.constData(), NoLock, 0, &opened.session);
            library->m_opening.store(false, std::memory_order_release);
            return opened;
        },
        [library = shared_from_this()](Opened &late) {
            if (late.status >= Success)
                library->m_calls.close(late.session);
        });
}

QString VisaLibrary::describe(ViStatus status) {
    const QString code =
        QStringLiteral("VISA status 0x%1").arg(quint32(status), 8, 16, QLatin1Char('0'));
    if (!m_calls.statusDesc || !m_manager)
        return code;
    char text[BufferLength] = {};
    if (m_calls.statusDesc(*m_manager, status, text) < Success)
        return code;
    return QStringLiteral("%1 (%2)").arg(
        QString::fromLocal8Bit(text, qstrnlen(text, sizeof text)).trimmed(), code);
}

std::optional<QStringList> VisaLibrary::descriptors() {
    m_listed.clear();
    if (!m_loaded)
        return QStringList();
    if (m_hung)
        return std::nullopt;
    // The listing holds the library, so it stays loaded for a call that
    // never returns.
    const auto found = abandonableCall<Listing>(
        ListingLimit, [library = shared_from_this(), calls = m_calls, manager = m_manager] {
            return listAll(calls, manager);
        });
    if (!found) {
        m_hung = true;
        return std::nullopt;
    }
    if (found->managerStatus < Success)
        return std::nullopt;
    m_manager = found->manager;
    if (found->listed) {
        for (const QString &descriptor : std::as_const(*found->listed))
            m_listed.insert(descriptor.toLower());
    }
    return found->listed;
}

std::unique_ptr<Transport> VisaLibrary::open(const QString &descriptor) {
    const QString wanted = descriptor.trimmed();
    if (!m_listed.contains(wanted.toLower()))
        return nullptr;
    return std::make_unique<VisaTransport>(shared_from_this(), wanted);
}
