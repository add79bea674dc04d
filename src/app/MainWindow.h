#pragma once
#include "document/Profile.h"

#include <QHash>
#include <QMainWindow>

#include <functional>
#include <memory>

class QAction;
class QMenu;
class QPushButton;
class QToolBar;

namespace tarnival {

class ChildFrame;
class ClickView;
class CMorvath3Doc;
class Profile;
class QtUserInterface;
class TarnivalBar;

// The main window: menus, toolbar and keys built from the command table, the control bar, the
// four status panes and the document's frame.
class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    // profile: the settings store to use; null for the user's own.
    explicit MainWindow(std::unique_ptr<Profile> profile = nullptr);
    ~MainWindow() override;

    // Opens a wave or APE file into the one document (after the close prompt when one is open).
    bool openFile(const QString& path);
    // A file named on the command line: ".ses" restores a session, ".wav" and ".ape" are opened,
    // anything else is ignored. Returns whether something was opened.
    bool openArgument(const QString& path);

    using Handler = std::function<void()>;
    using Predicate = std::function<bool()>;
    // Connects a command of the table. Until connected a command stays disabled.
    void bind(const QString& id, Handler handler, Predicate enabled = {}, Predicate checked = {});
    QAction* action(const QString& id) const { return actions_.value(id); }
    bool isBound(const QString& id) const { return handlers_.contains(id); }
    // Restores a session file; connected by whoever provides sessions.
    std::function<bool(const QString&)> sessionRestorer;
    // Asked by the close prompt; return whether the save went through.
    void refreshCommands();

    CMorvath3Doc& document() const { return *doc_; }
    ChildFrame& frame() const { return *frame_; }
    ClickView& wave() const;
    TarnivalBar& controlBar() const { return *bar_; }
    QtUserInterface& userInterface() const { return *ui_; }
    Profile& profile() const { return *profile_; }
    QToolBar* toolBar() const { return tools_; }
    QStringList recentFiles() const;
    // The close prompt; true when the document may be let go.
    bool promptToClose();
    // The help page generated from the command table.
    static QString helpHtml();

  protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void buildCommands();
    void bindViewCommands();
    void openDialog();
    void refresh();
    void syncScales();
    void addRecent(const QString& path);
    void fillRecentMenu();
    void savePlacement();
    void restorePlacement();
    void showContextMenu(QPoint at, bool block);
    void showTrackMenu(QPoint at);
    void showCursor(qint64 position);
    void showToggle(bool shown);
    void trigger(const QString& id);

    std::unique_ptr<Profile> profile_;
    std::unique_ptr<QtUserInterface> ui_;
    std::unique_ptr<CMorvath3Doc> doc_;
    ChildFrame* frame_ = nullptr;
    TarnivalBar* bar_ = nullptr;
    QToolBar* tools_ = nullptr;
    QMenu* fileMenu_ = nullptr;
    QAction* recentSeparator_ = nullptr;
    QList<QAction*> recentActions_;
    QPushButton* toggle_ = nullptr;
    QHash<QString, QAction*> actions_;
    QHash<QString, Handler> handlers_;
    QHash<QString, Predicate> enabled_;
    QHash<QString, Predicate> checked_;
    QHash<QString, QMenu*> menus_;
};

} // namespace tarnival
