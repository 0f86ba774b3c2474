#pragma once

#include <QString>

// Puts a descriptor at the top of the user's instrument list, so start-up
// tries it first. The user's other lines and comments stay as they were; a
// line naming the same instrument further down goes. The list is replaced
// in one step (written beside it, then renamed over it), so a crash leaves
// the old list or the new one, never half of one; a list kept as a symbolic
// link stays one, and the file it points to is written. False, with the
// reason in *error, when the list cannot be read or written.
bool putFirstInList(const QString &listPath, const QString &descriptor, QString *error);
