// Arbitrary text as a VISA resource descriptor and as the user's instrument
// list. Whatever the list keeps must parse as a descriptor on its own.
#include "InstrumentListFile.h"
#include "ResourceDescriptor.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    QString error;
    const auto descriptor = ResourceDescriptor::parse(text, &error);
    if (!descriptor && error.isEmpty())
        std::abort();
    for (const QString &line : InstrumentListFile::parse(text)) {
        if (!ResourceDescriptor::parse(line))
            std::abort();
    }
    return 0;
}
