#pragma once
#include <QKeySequence>
#include <QList>
#include <QString>

#include <vector>

namespace tarnival {

// One command of the application: where it sits in the menus, its keys, its status prompt
// ("status line\ntool tip") and the icon of the desktop's theme that shows it on the toolbar.
struct Command {
    QString id;   // stable identifier, e.g. "file.open"
    QString menu; // menu path with "/" between levels, e.g. "&File"; empty: keys only
    QString text; // the menu item's text
    QList<QKeySequence> keys;
    QString prompt;        // first line: status bar; second line: tool tip
    QString icon;          // freedesktop icon name, empty: none
    int toolbarGroup = -1; // toolbar section (separators between), -1: not on the toolbar
    int toolbarOrder = 0;
    bool checkable = false;
    bool separatorBefore = false;
};

// The complete table, in menu order.
const std::vector<Command>& commandTable();
const Command* findCommand(const QString& id);

// The status-bar line and the tool tip of a prompt.
QString promptStatus(const QString& prompt);
QString promptToolTip(const QString& prompt);

} // namespace tarnival
