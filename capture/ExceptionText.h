#pragma once

#include <QString>

// Inside a catch (...): what the exception being handled says about itself.
QString describeCurrentException();
