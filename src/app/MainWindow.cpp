#include "app/MainWindow.h"
#include "app/QtUserInterface.h"
#include "facade/Document.h"
#include "settings/SettingsProfile.h"

#include <QFileDialog>
#include <QKeySequence>
#include <QLabel>
#include <QMenuBar>

namespace tarnival {

MainWindow::MainWindow()
    : profile_(std::make_unique<SettingsProfile>()), ui_(std::make_unique<QtUserInterface>(this)),
      doc_(std::make_unique<CMorvath3Doc>(*profile_, *ui_)) {
    QMenu* file = menuBar()->addMenu("&File");
    QAction* open = file->addAction("&Open...", this, &MainWindow::openDialog);
    open->setShortcut(QKeySequence("Ctrl+O"));
    open->setStatusTip("Open an existing file for processing ");
    file->addSeparator();
    file->addAction("E&xit", this, &QWidget::close);
    auto* centre = new QLabel(this);
    centre->setAlignment(Qt::AlignCenter);
    setCentralWidget(centre);
    resize(900, 560);
    refresh();
}

MainWindow::~MainWindow() = default;

void MainWindow::openDialog() {
    QString start = QString::fromStdString(get(*profile_, settings::kPathName));
    QString path = QFileDialog::getOpenFileName(
        this, "Open... Select Wave File to Process", start,
        "Wave Files (*.wav);;Ape Files (*.ape);;All Compatible Files ( *.wav *.ape)");
    if (!path.isEmpty()) openFile(path);
}

bool MainWindow::openFile(const QString& path) {
    bool ok = false;
    try {
        ok = doc_->OpenWave(path.toStdString());
        if (ok) {
            refresh();
            ok = doc_->ProcessFile();
        }
    } catch (const std::exception& e) {
        // A file error part way: the document has been emptied; say what failed.
        ui_->message(e.what(), "Tarnival");
        ok = false;
    }
    refresh();
    return ok;
}

void MainWindow::refresh() {
    setWindowTitle(QString::fromStdString(doc_->title()) + " - Tarnival");
    ui_->setStatusPane(1, doc_->statusString());
    auto* centre = static_cast<QLabel*>(centralWidget());
    if (!doc_->isLoaded()) {
        centre->setText("Open a record side with File \u2192 Open...");
        return;
    }
    const WaveLayout& l = doc_->store.layout;
    double seconds = static_cast<double>(l.dataLength()) / 4.0 / l.sampleRate;
    centre->setText(QString("%1\n%2 Hz, 16-bit stereo, %3 s\n\n%4")
                        .arg(QString::fromStdString(doc_->title()))
                        .arg(l.sampleRate)
                        .arg(seconds, 0, 'f', 1)
                        .arg(QString::fromStdString(doc_->StatusReport())));
}

} // namespace tarnival
