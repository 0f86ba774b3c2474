#pragma once

#include <QFont>

// The font of Mardock's three windows. Their geometry is fixed in twips for a
// small, narrow dialog font; the platform's default sans font is wider and
// would cut captions such as "Portrait".
QFont windowFont(QFont base);
