#pragma once
#include <QIcon>
#include <QString>

namespace tarnival {

// The desktop theme's icon of that freedesktop name, or our own drawing of it where the theme
// has none (a bare window manager, an incomplete theme).
QIcon themeIcon(const QString& name);

// Whether we carry a drawing of our own for the name.
bool hasOwnIcon(const QString& name);

// Tarnival's own icon: a record with a repaired wave across it.
QIcon applicationIcon();

} // namespace tarnival
