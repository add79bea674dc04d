#include "dialogs/TipDialog.h"

#include "dialogs/Dialogs.h"
#include "document/Settings.h"
#include "document/UserInterface.h"
#include "views/Icons.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

namespace tarnival {

namespace {
constexpr const char* kTip = "Tip";
constexpr IntSetting kStartUp{kTip, "StartUp", 0};
constexpr IntSetting kFilePos{kTip, "FilePos", 0};
constexpr TextSetting kTimeStamp{kTip, "TimeStamp", ""};
// A tip longer than this is no tip: the file is not a tips file.
constexpr qint64 kLongestTip = 4096;
} // namespace

bool tipsAtStartUp(const Profile& profile) {
    return get(profile, kStartUp) == 0;
}

TipReader::TipReader(Profile& profile, QString path) : profile_(profile), path_(std::move(path)) {}

QString TipReader::next(UserInterface& ui) {
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return "Tips file does not exist in the prescribed directory";
    if (!opened_) {
        opened_ = true;
        QString stamp = QFileInfo(file).lastModified().toString(Qt::ISODateWithMs).trimmed();
        if (QString::fromStdString(get(profile_, kTimeStamp)) != stamp) {
            set(profile_, kTimeStamp, stamp.toStdString());
            position_ = 0;
        } else {
            position_ = get(profile_, kFilePos);
        }
    }
    if (position_ < 0 || position_ > file.size() || !file.seek(position_)) {
        ui.message("Trouble reading the tips file");
        position_ = 0;
        return {};
    }
    // At most one pass round the file: a file without any tip ends the search.
    bool wrapped = position_ == 0;
    for (;;) {
        if (file.atEnd()) {
            if (wrapped) return {};
            wrapped = true;
            file.seek(0);
        }
        QByteArray raw = file.readLine(kLongestTip);
        QString line = QString::fromUtf8(raw).trimmed();
        position_ = file.pos();
        if (line.isEmpty() || line.startsWith('#')) continue;
        return line;
    }
}

TipDialog::TipDialog(QWidget* parent, Profile& profile, UserInterface& ui, const QString& tipsFile)
    : QDialog(parent), profile_(profile), ui_(ui), reader_(profile, tipsFile) {
    setWindowTitle("Tip of the Day");
    auto* icon = new QLabel(this);
    icon->setPixmap(themeIcon("dialog-information").pixmap(48, 48));
    auto* heading = new QLabel("Did you know...", this);
    QFont f = heading->font();
    f.setBold(true);
    f.setPointSizeF(f.pointSizeF() * 1.3);
    heading->setFont(f);
    tip_ = new QLabel(this);
    tip_->setWordWrap(true);
    tip_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    tip_->setMinimumSize(380, 110);
    startUp_ = new QCheckBox("&Show Tips on StartUp", this);
    startUp_->setChecked(tipsAtStartUp(profile));
    auto* nextButton = new QPushButton("&Next Tip", this);
    auto* close = new QPushButton("&Close", this);
    close->setDefault(true);
    connect(nextButton, &QPushButton::clicked, this, [this] { nextTip(); });
    connect(close, &QPushButton::clicked, this, &QDialog::accept);

    auto* text = new QVBoxLayout;
    text->addWidget(heading);
    text->addWidget(tip_, 1);
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addLayout(text, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(startUp_);
    bottom->addStretch(1);
    bottom->addWidget(nextButton);
    bottom->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addLayout(bottom);
    nextTip();
}

void TipDialog::nextTip() {
    tip_->setText(reader_.next(ui_));
}

void TipDialog::done(int result) {
    set(profile_, kStartUp, startUp_->isChecked() ? 0 : 1);
    set(profile_, kFilePos, static_cast<int>(reader_.position()));
    QDialog::done(result);
}

void showTipOfTheDay(QWidget* parent, Profile& profile, UserInterface& ui,
                     const QString& tipsFile) {
    TipDialog dialog(parent, profile, ui, tipsFile);
    dialog.exec();
}

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle("About Tarnival");
    auto* icon = new QLabel(this);
    icon->setPixmap(applicationIcon().pixmap(64, 64));
    auto* text = new QLabel(
        QString("<b>Tarnival</b> version %1<br><br>Restores recordings transferred from records "
                "and tapes:<br>clicks, crackle, hiss, hum and rumble.")
            .arg(QApplication::applicationVersion().isEmpty() ? "0.1"
                                                              : QApplication::applicationVersion()),
        this);
    auto* ok = new QPushButton("OK", this);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addWidget(text, 1);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(ok);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(bottom);
}

void showAboutDialog(QWidget* parent) {
    AboutDialog dialog(parent);
    dialog.exec();
}

} // namespace tarnival
