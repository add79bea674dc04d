#include "dialogs/TrackPropertiesDialog.h"
#include "dialogs/Dialogs.h"
#include "facade/Document.h"
#include "tracks/TrackTimings.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace tarnival {

namespace {

// Seconds as the fields show them after every change: "%3.1f", junk and negatives as 0.
QString secondsText(const QString& typed) {
    bool ok = false;
    double v = typed.trimmed().toDouble(&ok);
    if (!ok || !(v > 0)) v = 0;
    return QString::asprintf("%3.1f", v);
}

void reformatOnChange(QLineEdit* edit) {
    QObject::connect(edit, &QLineEdit::editingFinished, edit,
                     [edit] { edit->setText(secondsText(edit->text())); });
}

QString q(const std::string& s) {
    return QString::fromStdString(s);
}

} // namespace

// ---- Track %d Properties --------------------------------------------------------------------

TrackEditDialog::TrackEditDialog(QWidget* parent, std::vector<TrackRow>& rows, int index)
    : QDialog(parent), rows_(rows), index_(index) {
    static const char* labels[6] = {"Title",    "Artist",      "Fade In",
                                    "Fade Out", "Pre-Silence", "Post-Silence"};
    auto* form = new QFormLayout;
    for (int i = 0; i < 6; ++i) {
        fields_[i] = new QLineEdit(this);
        if (i >= 2) {
            reformatOnChange(fields_[i]);
            fields_[i]->setMaximumWidth(80);
        } else {
            fields_[i]->setMinimumWidth(260);
        }
        form->addRow(labels[i], fields_[i]);
    }
    previous_ = new QPushButton("Prev. Track", this);
    next_ = new QPushButton("Next Track", this);
    connect(previous_, &QPushButton::clicked, this, [this] { go(-1); });
    connect(next_, &QPushButton::clicked, this, [this] { go(1); });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* row = new QHBoxLayout;
    row->addWidget(previous_);
    row->addWidget(next_);
    row->addStretch(1);
    row->addWidget(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(row);
    load();
}

void TrackEditDialog::load() {
    const TrackRow& r = rows_[static_cast<size_t>(index_)];
    setWindowTitle(QString::asprintf("Track %d Properties", index_ + 1));
    const std::string* values[6] = {&r.title,   &r.artist,     &r.fadeIn,
                                    &r.fadeOut, &r.preSilence, &r.postSilence};
    for (int i = 0; i < 6; ++i) fields_[i]->setText(q(*values[i]));
    previous_->setEnabled(index_ > 0);
    next_->setEnabled(index_ + 1 < static_cast<int>(rows_.size()));
}

void TrackEditDialog::store() {
    TrackRow& r = rows_[static_cast<size_t>(index_)];
    std::string* values[6] = {&r.title,   &r.artist,     &r.fadeIn,
                              &r.fadeOut, &r.preSilence, &r.postSilence};
    for (int i = 0; i < 6; ++i) {
        QString text = i >= 2 ? secondsText(fields_[i]->text()) : fields_[i]->text();
        *values[i] = text.toStdString();
    }
}

void TrackEditDialog::go(int delta) {
    store();
    index_ = std::clamp(index_ + delta, 0, static_cast<int>(rows_.size()) - 1);
    load();
}

void TrackEditDialog::accept() {
    store();
    QDialog::accept();
}

// ---- Default Artist and Timings -------------------------------------------------------------

DefaultTimingsDialog::DefaultTimingsDialog(QWidget* parent, CMorvath3Doc& doc)
    : QDialog(parent), doc_(doc) {
    setWindowTitle("Default Artist and Timings");
    static const char* labels[5] = {"Default Artist", "Pre-Silence", "Fade In", "Fade Out",
                                    "Post-Silence"};
    DefaultTimings t = LoadDefaultTimings(doc.profile());
    const std::string values[5] = {doc.tracks.defaultArtist, t.preSilence, t.fadeIn, t.fadeOut,
                                   t.postSilence};
    auto* form = new QFormLayout;
    for (int i = 0; i < 5; ++i) {
        fields_[i] = new QLineEdit(q(values[i]), this);
        if (i > 0) {
            fields_[i]->setText(secondsText(fields_[i]->text()));
            reformatOnChange(fields_[i]);
            fields_[i]->setMaximumWidth(80);
        } else {
            fields_[i]->setMinimumWidth(240);
        }
        form->addRow(labels[i], fields_[i]);
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

void DefaultTimingsDialog::accept() {
    doc_.tracks.defaultArtist = fields_[0]->text().toStdString();
    DefaultTimings t;
    t.preSilence = secondsText(fields_[1]->text()).toStdString();
    t.fadeIn = secondsText(fields_[2]->text()).toStdString();
    t.fadeOut = secondsText(fields_[3]->text()).toStdString();
    t.postSilence = secondsText(fields_[4]->text()).toStdString();
    StoreDefaultTimings(doc_.profile(), t);
    QDialog::accept();
}

bool showDefaultTimingsDialog(QWidget* parent, CMorvath3Doc& doc) {
    DefaultTimingsDialog dialog(parent, doc);
    return dialog.exec() == QDialog::Accepted;
}

// ---- Track Properties -----------------------------------------------------------------------

TrackPropertiesDialog::TrackPropertiesDialog(QWidget* parent, CMorvath3Doc& doc)
    : QDialog(parent), doc_(doc) {
    setWindowTitle("Track Properties");
    const int rate = doc.store.layout.sampleRate;
    for (int i = 1; i < doc.tracks.count(); ++i) {
        const Track& t = doc.tracks[i];
        rows_.push_back({t.title, t.artist, bytesToSeconds(t.preSilence, rate),
                         bytesToSeconds(t.fadeIn, rate), bytesToSeconds(t.fadeOut, rate),
                         bytesToSeconds(t.postSilence, rate)});
    }
    table_ = new QTableWidget(0, 8, this);
    table_->setHorizontalHeaderLabels(
        {"#", "Len.", "Title", "Artist", "S/I.", "F/I", "F/0", "S/O"});
    table_->verticalHeader()->hide();
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table_->horizontalHeader()->setSectionResizeMode(2, QHeaderView::Stretch);
    table_->setMinimumSize(620, 240);
    connect(table_, &QTableWidget::cellDoubleClicked, this, [this] { editCurrent(); });

    const Track& side = doc.tracks[0];
    album_ = new QLineEdit(q(side.album), this);
    genre_ = new QLineEdit(q(side.genre), this);
    if (doc.tracks.count() > 1) {
        album_->setText(q(doc.tracks[1].album));
        genre_->setText(q(doc.tracks[1].genre));
    }
    auto* tags = new QFormLayout;
    tags->addRow("Album Title", album_);
    tags->addRow("Genre", genre_);

    auto* side_buttons = new QVBoxLayout;
    for (const char* text : {"Edit", "Change", "Use Defaults", "Default Values"}) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(text);
        side_buttons->addWidget(b);
    }
    side_buttons->addStretch(1);
    connect(button("Edit"), &QPushButton::clicked, this, [this] { editCurrent(); });
    connect(button("Change"), &QPushButton::clicked, this, [this] { editCurrent(); });
    connect(button("Use Defaults"), &QPushButton::clicked, this, [this] { useDefaults(); });
    connect(button("Default Values"), &QPushButton::clicked, this,
            [this] { showDefaultTimingsDialog(this, doc_); });
    bool any = !rows_.empty();
    for (const char* text : {"Edit", "Change", "Use Defaults"}) button(text)->setEnabled(any);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* top = new QHBoxLayout;
    top->addWidget(table_, 1);
    top->addLayout(side_buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(tags);
    layout->addWidget(buttons);
    fillTable();
    if (any) table_->selectRow(0);
}

QPushButton* TrackPropertiesDialog::button(const QString& text) const {
    return findChild<QPushButton*>(text);
}

void TrackPropertiesDialog::fillTable() {
    const int rate = doc_.store.layout.sampleRate;
    table_->setRowCount(static_cast<int>(rows_.size()));
    for (int r = 0; r < static_cast<int>(rows_.size()); ++r) {
        const TrackRow& row = rows_[static_cast<size_t>(r)];
        const Track& t = doc_.tracks[r + 1];
        QString cells[8] = {QString::number(r + 1), q(lengthText(int64_t{t.end} - t.start, rate)),
                            q(row.title),           q(row.artist),
                            q(row.preSilence),      q(row.fadeIn),
                            q(row.fadeOut),         q(row.postSilence)};
        for (int c = 0; c < 8; ++c) {
            auto* item = table_->item(r, c);
            if (!item) table_->setItem(r, c, item = new QTableWidgetItem);
            item->setText(cells[c]);
        }
    }
}

void TrackPropertiesDialog::editCurrent() {
    int row = table_->currentRow();
    if (row < 0 || rows_.empty()) return;
    TrackEditDialog edit(this, rows_, row);
    std::vector<TrackRow> before = rows_;
    if (edit.exec() != QDialog::Accepted) {
        rows_ = before;
        return;
    }
    fillTable();
    table_->selectRow(edit.index());
}

void TrackPropertiesDialog::useDefaults() {
    DefaultTimings t = LoadDefaultTimings(doc_.profile());
    for (const QModelIndex& index : table_->selectionModel()->selectedRows()) {
        TrackRow& row = rows_[static_cast<size_t>(index.row())];
        row.preSilence = secondsText(q(t.preSilence)).toStdString();
        row.fadeIn = secondsText(q(t.fadeIn)).toStdString();
        row.fadeOut = secondsText(q(t.fadeOut)).toStdString();
        row.postSilence = secondsText(q(t.postSilence)).toStdString();
    }
    fillTable();
}

void TrackPropertiesDialog::accept() {
    const int rate = doc_.store.layout.sampleRate;
    TrackList& tracks = doc_.tracks;
    for (int i = 0; i < tracks.count(); ++i) {
        tracks[i].album = album_->text().toStdString();
        tracks[i].genre = genre_->text().toStdString();
    }
    for (int i = 1; i < tracks.count(); ++i) {
        const TrackRow& row = rows_[static_cast<size_t>(i - 1)];
        Track& t = tracks[i];
        t.title = row.title;
        t.artist = row.artist;
        t.preSilence = secondsToBytes(row.preSilence, rate);
        t.fadeIn = secondsToBytes(row.fadeIn, rate);
        t.fadeOut = secondsToBytes(row.fadeOut, rate);
        t.postSilence = secondsToBytes(row.postSilence, rate);
    }
    doc_.modified = true;
    doc_.observer().trackDisplayChanged();
    doc_.observer().redraw();
    QDialog::accept();
}

bool showTrackPropertiesDialog(QWidget* parent, CMorvath3Doc& doc) {
    TrackPropertiesDialog dialog(parent, doc);
    return dialog.exec() == QDialog::Accepted;
}

} // namespace tarnival
