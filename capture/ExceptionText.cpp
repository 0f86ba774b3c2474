#include "ExceptionText.h"

#include <exception>

QString describeCurrentException() {
    try {
        throw;
    } catch (const std::exception &error) {
        return QString::fromUtf8(error.what());
    } catch (...) {
        return QStringLiteral("an unknown error");
    }
}
