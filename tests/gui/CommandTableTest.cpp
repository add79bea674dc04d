#include "app/CommandTable.h"
#include "app/MainWindow.h"
#include "gui/GuiSupport.h"
#include "views/Icons.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QFile>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QSet>
#include <QToolBar>

namespace tarnival {
namespace {

// Every action reachable from the menu bar, by walking the menus as a user would.
void collect(QMenu* menu, QSet<QString>& ids) {
    for (QAction* a : menu->actions()) {
        if (a->menu()) collect(a->menu(), ids);
        if (!a->objectName().isEmpty()) ids.insert(a->objectName());
    }
}

TEST(CommandTable, EveryCommandIsReachableWithUniqueKeysAndPrompts) {
    MainWindow window(test::testProfile());
    QSet<QString> inMenus;
    for (QAction* a : window.menuBar()->actions())
        if (a->menu()) collect(a->menu(), inMenus);

    QSet<QString> ids;
    QHash<QString, QString> keyOwner;
    for (const Command& c : commandTable()) {
        SCOPED_TRACE(c.id.toStdString());
        EXPECT_FALSE(ids.contains(c.id)) << "identifier used twice";
        ids.insert(c.id);
        QAction* a = window.action(c.id);
        ASSERT_NE(a, nullptr);
        // Reachable: from a menu, or (keys-only commands) by a key of the main window.
        if (c.menu.isEmpty()) {
            EXPECT_FALSE(c.keys.isEmpty()) << "a command without menu needs a key";
            EXPECT_TRUE(window.actions().contains(a));
        } else {
            EXPECT_TRUE(inMenus.contains(c.id));
        }
        for (const QKeySequence& k : c.keys) {
            const QString text = k.toString();
            EXPECT_FALSE(keyOwner.contains(text))
                << text.toStdString() << " also belongs to " << keyOwner[text].toStdString();
            keyOwner.insert(text, c.id);
            // Keys work with the menus closed: the action sits on the window itself.
            EXPECT_TRUE(window.actions().contains(a));
        }
        EXPECT_FALSE(promptStatus(c.prompt).isEmpty());
        EXPECT_EQ(a->statusTip(), promptStatus(c.prompt));
        // A command nobody has connected yet is shown disabled, with its prompt.
        if (!window.isBound(c.id)) {
            EXPECT_FALSE(a->isEnabled());
        }
    }
    EXPECT_EQ(ids.size(), int(commandTable().size()));

    // Keys the main window answers to.
    EXPECT_EQ(keyOwner.value("Ctrl+O"), "file.open");
    EXPECT_EQ(keyOwner.value("Del"), "cor.remove");
    EXPECT_EQ(keyOwner.value("Ins"), "cor.adjust");
    EXPECT_EQ(keyOwner.value("F3"), "cor.findNext");
    EXPECT_EQ(keyOwner.value("F2"), "cor.findPrevious");
    EXPECT_EQ(keyOwner.value("Space"), "tracks.playCorrected");
    EXPECT_EQ(keyOwner.value("Shift+Space"), "tracks.playOriginal");
    EXPECT_EQ(keyOwner.value("Esc"), "play.cancel");
    EXPECT_EQ(keyOwner.value(QKeySequence(Qt::KeypadModifier | Qt::Key_1).toString()),
              "cor.auditionOriginal");
    EXPECT_EQ(keyOwner.value(QKeySequence(Qt::KeypadModifier | Qt::Key_7).toString()),
              "keys.speedDown");

    // With no file loaded the view's commands wait; opening a file and leaving work alone do not.
    EXPECT_TRUE(window.action("file.open")->isEnabled());
    EXPECT_FALSE(window.action("cor.remove")->isEnabled());
    EXPECT_FALSE(window.action("tracks.playCorrected")->isEnabled());
    EXPECT_FALSE(window.action("play.cancel")->isEnabled());

    // A connected command becomes enabled and runs; the lead wires the others this way.
    int runs = 0;
    window.bind("file.batchOpen", [&] { ++runs; });
    EXPECT_TRUE(window.action("file.batchOpen")->isEnabled());
    window.action("file.batchOpen")->trigger();
    EXPECT_EQ(runs, 1);

    // The toolbar holds the commands in its order, with separators between the groups.
    QStringList toolbar;
    for (QAction* a : window.toolBar()->actions())
        toolbar << (a->isSeparator() ? QString("|") : a->objectName());
    EXPECT_EQ(toolbar.join(" "),
              "file.open file.record | wave.rescanClicks wave.scanOptions cor.auditionOriginal "
              "cor.auditionCorrected | cor.remove cor.adjust | cor.find cor.findPrevious "
              "cor.findNext | wave.filters | tracks.playOriginal tracks.playCorrected | play.pause "
              "play.cancel | tracks.split tracks.merge tracks.auditionBoundary tracks.properties "
              "tracks.previousMarker tracks.nextMarker | help.topics help.context");

    // The help page lists every command with its prompt.
    const QString help = MainWindow::helpHtml();
    for (const Command& c : commandTable())
        EXPECT_TRUE(help.contains(promptStatus(c.prompt).toHtmlEscaped())) << c.id.toStdString();
}

// Without a desktop theme (a bare window manager, a minimal install) the toolbar must still show
// pictures, and the desktop must find our entry and icon.
TEST(CommandTable, IconsShowWithoutATheme) {
    auto opaque = [](const QIcon& icon) {
        const QImage image = icon.pixmap(24, 24).toImage();
        int n = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) n += qAlpha(image.pixel(x, y)) > 128;
        return n;
    };
    const QString theme = QIcon::themeName();
    QIcon::setThemeName("no-such-theme");
    for (const Command& c : commandTable()) {
        if (c.icon.isEmpty()) continue;
        SCOPED_TRACE(c.icon.toStdString());
        EXPECT_TRUE(hasOwnIcon(c.icon));
        EXPECT_GT(opaque(themeIcon(c.icon)), 10);
    }
    EXPECT_GT(opaque(applicationIcon()), 200);
    QIcon::setThemeName(theme);

    QFile desktop(TARNIVAL_SOURCE_DIR "/data/tarnival.desktop");
    ASSERT_TRUE(desktop.open(QIODevice::ReadOnly));
    const QString entry = QString::fromUtf8(desktop.readAll());
    EXPECT_TRUE(entry.contains("\nIcon=tarnival\n"));
    EXPECT_TRUE(QFile::exists(TARNIVAL_SOURCE_DIR "/data/icons/tarnival.svg"));
    if (QFile::exists("/usr/bin/desktop-file-validate")) {
        EXPECT_EQ(QProcess::execute("/usr/bin/desktop-file-validate",
                                    {TARNIVAL_SOURCE_DIR "/data/tarnival.desktop"}),
                  0);
    }
}

} // namespace
} // namespace tarnival
