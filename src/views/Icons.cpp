#include "views/Icons.h"

#include <QFile>

namespace tarnival {

namespace {

QString ownPath(const QString& name) {
    return ":/icons/fallback/" + name + ".svg";
}

} // namespace

bool hasOwnIcon(const QString& name) {
    return QFile::exists(ownPath(name));
}

QIcon themeIcon(const QString& name) {
    return QIcon::fromTheme(name, hasOwnIcon(name) ? QIcon(ownPath(name)) : QIcon());
}

QIcon applicationIcon() {
    return QIcon(":/icons/tarnival.svg");
}

} // namespace tarnival
