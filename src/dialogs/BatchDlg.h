#pragma once
#include "batch/BatchProcessor.h"

#include <QDialog>
#include <QStringList>

#include <functional>
#include <memory>
#include <string>

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTextEdit;

namespace tarnival {

class Profile;
class UserInterface;

// The "Batch Process" dialog: a list of files, the steps to run on each, the output type and
// naming, a log pane, and Start / Abort.
class CBatchDlg : public QDialog, private BatchHost {
    Q_OBJECT
  public:
    explicit CBatchDlg(Profile& profile, QWidget* parent = nullptr);
    ~CBatchDlg() override;

    // Appends paths to the list (folders are searched for wave and APE files; other files are
    // taken only with a ".wav" or ".ape" name), as "Add" and dropping do.
    void addPaths(const QStringList& paths, bool fromDrop);
    void AppendLog(const QString& text, bool red);
    // What a run would do with the controls as they are.
    BatchOptions options() const;
    bool running() const { return running_; }
    // The command line to start for "Files at once" above 1; empty: next to this program.
    QString commandLineProgram;

    // The other dialogs the batch opens; each has a plain default here.
    std::function<bool(QWidget*, FilterSettings&, std::string& graphicName)> configureFilters;
    std::function<bool(QWidget*, Profile&)> configureOutput;
    std::function<bool(QWidget*, ScanSettings&, int& passes)> configureDeclick;
    std::function<QStringList(QWidget*)> chooseFiles;
    std::function<QString(QWidget*, const QString& start)> chooseFolder;

    QListWidget* files = nullptr;
    QPushButton* add = nullptr;
    QPushButton* remove = nullptr;
    QCheckBox* declick = nullptr;
    QCheckBox* filter = nullptr;
    QCheckBox* normalise = nullptr;
    QCheckBox* scale = nullptr;
    QCheckBox* balance = nullptr;
    QCheckBox* trim = nullptr;
    QComboBox* level = nullptr;
    QComboBox* outputType = nullptr;
    QComboBox* naming = nullptr;
    QLabel* mayOverwrite = nullptr;
    QLabel* declickSummary = nullptr;
    QLabel* filterSummary = nullptr;
    QLabel* pathLabel = nullptr;
    QPushButton* declickConfigure = nullptr;
    QPushButton* filterConfigure = nullptr;
    QPushButton* outputConfigure = nullptr;
    QPushButton* path = nullptr;
    QSpinBox* filesAtOnce = nullptr;
    QPushButton* start = nullptr;
    QPushButton* cancel = nullptr;
    QTextEdit* logPane = nullptr;
    QProgressBar* progressBar = nullptr;

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void reject() override;

  private:
    // BatchHost
    void log(const std::string& text, bool red) override;
    void progress(int64_t position, int64_t low, int64_t high) override;
    void pump() override;
    bool abortRequested() const override { return abort_; }

    void refresh();
    void levelEdited();
    void run();
    BatchSummary runHere(const std::vector<std::string>& list, const BatchOptions& o);
    BatchSummary runInProcesses(const std::vector<std::string>& list, const BatchOptions& o,
                                int jobs);
    void cancelPressed();

    Profile& profile_;
    ScanSettings scan_;
    int passes_ = 0;
    FilterSettings filters_;
    std::string graphicName_;
    bool running_ = false;
    bool abort_ = false;
};

// Shows the dialog until the user closes it; its Configure buttons open the filter and
// compression dialogs, which tell the user through ui.
void showBatchDialog(QWidget* parent, Profile& profile, UserInterface& ui);

} // namespace tarnival
