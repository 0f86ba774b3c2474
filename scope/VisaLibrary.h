#pragma once

#include "ResourceSource.h"
#include "VisaApi.h"

#include <QLibrary>
#include <QSet>
#include <QStringList>
#include <atomic>
#include <chrono>
#include <memory>

// A vendor's VISA library, loaded at run time when one is installed. As a
// source it lists every resource the library finds ("?*"), and it opens the
// descriptors it listed, so an instrument reached through the vendor's own
// drivers keeps using them. With no library installed it lists and opens
// nothing. A library that hangs in its listing is given up on after
// ListingLimit and not called again, and a listing stops at MaxResources.
// An open that outlasts its bound is abandoned; until the library returns
// from it, every further open fails at once, so a wedged library holds at
// most one thread.
//
// Always held by a shared_ptr: its transports hold on to it, since their
// sessions live inside the library.
class VisaLibrary final : public ResourceSource, public std::enable_shared_from_this<VisaLibrary> {
public:
    // The entry points the transport calls.
    struct Calls {
        VisaApi::OpenDefaultRM openDefaultRM = nullptr;
        VisaApi::FindRsrc findRsrc = nullptr;
        VisaApi::FindNext findNext = nullptr;
        VisaApi::Open open = nullptr;
        VisaApi::Close close = nullptr;
        VisaApi::SetAttribute setAttribute = nullptr;
        VisaApi::Write write = nullptr;
        VisaApi::Read read = nullptr;
        VisaApi::Clear clear = nullptr;
        // Optional: only for wording errors.
        VisaApi::StatusDesc statusDesc = nullptr;
    };

    static constexpr VisaApi::ViUInt32 MaxResources = 256;
    static constexpr std::chrono::seconds ListingLimit{5};

    // The names the library is installed under on this platform, in the
    // order they are tried.
    static QStringList defaultNames();

    // The first of the candidates (names or paths) that loads and has every
    // entry point; a library that lists and opens nothing if none does.
    static std::shared_ptr<VisaLibrary> load(const QStringList &candidates = defaultNames());

    ~VisaLibrary() override;
    VisaLibrary(const VisaLibrary &) = delete;
    VisaLibrary &operator=(const VisaLibrary &) = delete;

    bool isLoaded() const { return m_loaded; }

    std::optional<QStringList> descriptors() override;
    std::unique_ptr<Transport> open(const QString &descriptor) override;

    const Calls &calls() const { return m_calls; }
    struct Opened {
        VisaApi::ViStatus status = VisaApi::Success;
        VisaApi::ViSession session = 0;
    };
    // Opens a session on `descriptor`, waiting no longer than `limit`:
    // nullopt when it did not return in time (a session it opens later is
    // closed again). Throws TransportError while an abandoned open is still
    // running.
    std::optional<Opened> openSession(const QByteArray &descriptor,
                                      std::chrono::milliseconds limit);
    // The default resource manager session, opened on first use; throws
    // TransportError when the library refuses it.
    VisaApi::ViSession resourceManager();
    // A failed call's status in words, with its code.
    QString describe(VisaApi::ViStatus status);

private:
    VisaLibrary() = default;
    bool tryLoad(const QString &name);

    QLibrary m_library;
    Calls m_calls;
    bool m_loaded = false;
    // A listing was abandoned: the library is wedged, or busy for good.
    bool m_hung = false;
    // An abandoned open has not returned yet; cleared by its own thread.
    std::atomic<bool> m_opening{false};
    std::optional<VisaApi::ViSession> m_manager;
    // Lower-cased descriptors of the last listing.
    QSet<QString> m_listed;
};
