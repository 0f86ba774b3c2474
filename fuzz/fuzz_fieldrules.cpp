// Arbitrary text through the preference boxes' rules: the leading number, its
// plain form, the acquisition limit fix-up and the path form. The plain form
// must read back as the number it was made from, and a fixed-up box must stay
// put when it loses the focus again (the limit may only gain its blank).
#include "FieldRules.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

void checkPlainForm(double value) {
    if (std::isnan(value))
        return;
    const double back = FieldRules::numericValue(FieldRules::plainNumberForm(value));
    // Fifteen significant digits survive the plain form.
    if (std::fabs(back - value) > std::fabs(value) * 1e-14)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == sizeof(double)) {
        double raw;
        std::memcpy(&raw, data, sizeof raw);
        if (std::isfinite(raw))
            checkPlainForm(raw);
    }
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const double value = FieldRules::numericValue(text);
    if (!std::isfinite(value))
        std::abort();
    checkPlainForm(value);

    const QString limit = FieldRules::acqLimitFixUp(text);
    if (FieldRules::numericValue(limit) == 0.0 ||
        FieldRules::numericValue(FieldRules::acqLimitFixUp(limit)) !=
            FieldRules::numericValue(limit))
        std::abort();

    const QString path = FieldRules::normalizePath(text);
    if (FieldRules::normalizePath(path) != path || path.contains(u'/') ||
        (!text.isEmpty() && !path.endsWith(u'\\')))
        std::abort();
    return 0;
}
