#include "app/QtUserInterface.h"
#include "dialogs/ProgressWindow.h"
#include "dialogs/ScanOptionsDlg.h"

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMainWindow>
#include <QMessageBox>
#include <QStatusBar>

namespace tarnival {

QtUserInterface::QtUserInterface(QMainWindow* window) : window_(window) {
    for (int i = 1; i < 4; ++i) {
        panes_[i] = new QLabel(window_);
        panes_[i]->setMinimumWidth(i == 1 ? 160 : 110);
        window_->statusBar()->addPermanentWidget(panes_[i]);
    }
}

void QtUserInterface::message(const std::string& text, const std::string& caption) {
    QMessageBox::information(window_, QString::fromStdString(caption),
                             QString::fromStdString(text).trimmed());
}

Answer QtUserInterface::ask(const std::string& text, const std::string& caption, Buttons buttons) {
    QMessageBox::StandardButtons set = QMessageBox::Ok;
    if (buttons == Buttons::YesNo) set = QMessageBox::Yes | QMessageBox::No;
    if (buttons == Buttons::YesNoCancel)
        set = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    if (buttons == Buttons::OkCancel) set = QMessageBox::Ok | QMessageBox::Cancel;
    auto b = QMessageBox::question(window_, QString::fromStdString(caption),
                                   QString::fromStdString(text), set);
    switch (b) {
    case QMessageBox::Yes:
        return Answer::Yes;
    case QMessageBox::No:
        return Answer::No;
    case QMessageBox::Cancel:
        return Answer::Cancel;
    default:
        return Answer::Ok;
    }
}

void QtUserInterface::beep() {
    QApplication::beep();
}

void QtUserInterface::setStatusPane(int pane, const std::string& text) {
    if (pane >= 1 && pane <= 3) panes_[pane]->setText(QString::fromStdString(text));
}

void QtUserInterface::progressBegin(const std::vector<std::string>& tasks) {
    if (progress_) progress_->deleteLater();
    progress_ = new ProgressWindow(window_);
    progress_->taskList()->setTasks(tasks);
    window_->setEnabled(false);
    progress_->setEnabled(true);
    progress_->show();
}

void QtUserInterface::progressEnd() {
    if (progress_) {
        progress_->hide();
        progress_->deleteLater();
    }
    progress_ = nullptr;
    window_->setEnabled(true);
}

void QtUserInterface::setTaskText(int index, const std::string& text) {
    if (progress_) progress_->taskList()->setTaskText(index, text);
}

void QtUserInterface::setCurrentTask(int index) {
    if (progress_) progress_->taskList()->setCurrent(index);
}

void QtUserInterface::markTask(int index) {
    if (progress_) progress_->taskList()->setMarked(index);
}

void QtUserInterface::setProgressRange(int64_t low, int64_t high) {
    if (progress_) progress_->setRange(low, high);
}

void QtUserInterface::setProgressPosition(int64_t position) {
    if (progress_) progress_->setPosition(position);
}

void QtUserInterface::setProgressText(int line, const std::string& text) {
    if (progress_) progress_->setLine(line, text);
}

void QtUserInterface::setProgressTitle(const std::string& title) {
    if (progress_) progress_->setWindowTitle(QString::fromStdString(title));
}

void QtUserInterface::setCancelEnabled(bool enabled) {
    if (progress_) progress_->setCancelEnabled(enabled);
}

bool QtUserInterface::pumpAndTakeCancel() {
    // Long operations pump once per block, far more often than a screen can show: painting the
    // progress window every time cost more than the work itself.
    if (!pumped_.isValid() || pumped_.elapsed() >= kPumpMilliseconds) {
        QCoreApplication::processEvents();
        pumped_.start();
    }
    return progress_ && progress_->takeCancel();
}

std::optional<std::string> QtUserInterface::locateFile(const std::string& title,
                                                       const std::string& filter,
                                                       const std::string& proposedName) {
    QString path = QFileDialog::getOpenFileName(window_, QString::fromStdString(title),
                                                QString::fromStdString(proposedName),
                                                QString::fromStdString(filter));
    if (path.isEmpty()) return std::nullopt;
    return path.toStdString();
}

bool QtUserInterface::editScanOptions(ScanSettings& settings) {
    return editScanSettings(window_, settings);
}

} // namespace tarnival
