#include "views/ChildFrame.h"

#include "facade/Document.h"
#include "views/ClickList.h"
#include "views/ClickView.h"
#include "views/EntryNavigation.h"
#include "views/OverviewView.h"

namespace tarnival {

constexpr int kOverviewHeight = 120;

ChildFrame::ChildFrame(CMorvath3Doc& doc, QWidget* parent) : QWidget(parent), doc_(doc) {
    wave_ = new ClickView(doc_, this);
    overview_ = new OverviewView(doc_, *wave_, this);
    list_ = new ClickList(doc_, this);
    doc_.setObserver(this);
    connect(wave_, &ClickView::blockChanged, this, [this] {
        if (wave_->hasBlock())
            list_->showBlock(wave_->blockStart(), wave_->blockEnd());
        else
            list_->clearBlock();
        overview_->update();
    });
    connect(wave_, &ClickView::stepListRequested, list_, &ClickList::step);
    connect(wave_, &ClickView::stateChanged, overview_, qOverload<>(&QWidget::update));
    connect(wave_, &ClickView::scaleChanged, overview_, qOverload<>(&QWidget::update));
    connect(wave_, &ClickView::playPositionMoved, overview_,
            [this](qint64 p) { overview_->setPlayPosition(p); });
    connect(list_, &ClickList::blockWanted, this,
            [this](qint64 a, qint64 b) { wave_->setBlock(int32_t(a), int32_t(b)); });
}

ChildFrame::~ChildFrame() {
    doc_.setObserver(nullptr);
}

void ChildFrame::resizeEvent(QResizeEvent*) {
    const int listWidth = list_->width();
    const int w = std::max(0, width() - listWidth);
    list_->setGeometry(w, 0, listWidth, height());
    wave_->setGeometry(0, 0, w, std::max(0, height() - kOverviewHeight));
    overview_->setGeometry(0, std::max(0, height() - kOverviewHeight), w, kOverviewHeight);
}

ChildFrame::RefillHold::RefillHold(ChildFrame& frame) : frame_(frame) {
    ++frame_.holds_;
}

ChildFrame::RefillHold::~RefillHold() {
    if (--frame_.holds_ > 0 || !frame_.listStale_) return;
    frame_.listStale_ = false;
    frame_.refillList();
}

void ChildFrame::markListStale() {
    // Rows added or selected one by one would not match the document either: wait for the refill.
    if (!listStale_) list_->reset();
    listStale_ = true;
    wave_->update();
    overview_->update();
}

void ChildFrame::entryAdded(int index) {
    if (!listStale_) list_->addEntry(index);
    overview_->update();
}

void ChildFrame::entryRemoved(int index) {
    if (!listStale_) list_->removeEntry(index);
    overview_->update();
}

void ChildFrame::entrySelected(int index) {
    CorrectionList& list = doc_.corrections;
    if (index < 1 || index > list.count() - 2) return;
    const int old = doc_.currentEntry;
    const bool wasInserted = old > 0 && old < list.count() - 1 && old != index &&
                             list[old].magnitude == magnitude_codes::kInsertedCurrent;
    doc_.currentEntry = view::adoptCurrentEntry(list, old, index);
    if (!listStale_) {
        if (wasInserted) list_->invalidateEntry(old);
        list_->selectEntry(index);
    }
    wave_->showEntry(index);
    overview_->update();
    emit selectionChanged();
}

void ChildFrame::followCurrentEntry() {
    // The indices have moved: find the entry the waveform view stands on again.
    CorrectionList& list = doc_.corrections;
    if (doc_.currentEntry > list.count() - 2) doc_.currentEntry = 0;
    if (doc_.currentEntry > 0 && list[doc_.currentEntry].position != wave_->position()) {
        int at = list.find(wave_->position());
        doc_.currentEntry =
            at <= list.count() - 2 && list[at].position == wave_->position() ? at : 0;
    }
}

void ChildFrame::refillList() {
    followCurrentEntry();
    list_->readThreshold();
    list_->refill();
    if (doc_.currentEntry > 0) list_->selectEntry(doc_.currentEntry);
    wave_->update();
    overview_->update();
    emit documentChanged();
}

void ChildFrame::listRefilled() {
    if (holds_ == 0) {
        refillList();
        return;
    }
    // The current entry is followed now: code running before the hold ends reads it.
    followCurrentEntry();
    markListStale();
}

void ChildFrame::listEmptied() {
    listStale_ = false;
    list_->reset();
    wave_->update();
    overview_->update();
    emit documentChanged();
}

void ChildFrame::trackDisplayChanged() {
    if (holds_ > 0) {
        markListStale();
        return;
    }
    list_->refill();
    if (doc_.currentEntry > 0) list_->selectEntry(doc_.currentEntry);
    overview_->update();
    emit documentChanged();
}

void ChildFrame::redraw() {
    wave_->update();
    overview_->update();
    emit documentChanged();
}

void ChildFrame::titleChanged() {
    emit documentChanged();
}

} // namespace tarnival
