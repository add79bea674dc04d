#pragma once
#include <QMainWindow>
#include <memory>

namespace tarnival {

class CMorvath3Doc;
class QtUserInterface;
class SettingsProfile;

class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    MainWindow();
    ~MainWindow() override;
    bool openFile(const QString& path);

  private:
    void openDialog();
    void refresh();

    std::unique_ptr<SettingsProfile> profile_;
    std::unique_ptr<QtUserInterface> ui_;
    std::unique_ptr<CMorvath3Doc> doc_;
};

} // namespace tarnival
