#include "Identification.h"

#include "InstrumentControl.h"
#include "InstrumentError.h"

Identification identify(const QString &descriptor,
                        const QList<std::shared_ptr<ResourceSource>> &sources) {
    Identification result{descriptor, {}, {}};
    InstrumentControl control(sources);
    try {
        control.setErrorReporting(true);
        control.setSetting(Instrument::TimeoutSetting, InstrumentControl::DefaultTimeoutMs);
        control.setDescriptor(descriptor);
        control.deviceClear();
        result.reply = control.query(QStringLiteral("*IDN?")).trimmed();
    } catch (const InstrumentError &error) {
        result.error = error.operation() + QStringLiteral(" failed: ") + error.reason();
    } catch (const std::exception &error) {
        result.error = QString::fromUtf8(error.what());
    }
    return result;
}
