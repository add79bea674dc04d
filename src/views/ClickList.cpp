#include "views/ClickList.h"

#include "document/Settings.h"
#include "facade/Document.h"
#include "tracks/TrackMarkers.h"
#include "views/EntryNavigation.h"
#include "views/Icons.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include <algorithm>

namespace tarnival {

namespace {
constexpr int kKeyRole = Qt::UserRole;
constexpr int kKindRole = Qt::UserRole + 1;
constexpr int kPseudoKind = -5;

QColor rgb(uint32_t v) {
    return QColor((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
}

// Rows keep their kind's colour when selected: the selection shows as a pointer in the 15
// pixels at the right edge, greyed and two pixels lower while the list does not have the focus.
class RowDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        constexpr int kMark = 15;
        painter->fillRect(option.rect, Qt::white);
        QStyleOptionViewItem row(option);
        row.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
        row.rect.adjust(0, 0, -kMark, 0);
        QStyledItemDelegate::paint(painter, row, index);
        if (!(option.state & QStyle::State_Selected)) return;
        const bool focus = option.widget && option.widget->hasFocus();
        const int side = std::min(kMark - 1, option.rect.height());
        const QRect mark(option.rect.right() - kMark + 1, option.rect.top() + (focus ? 0 : 2), side,
                         side);
        themeIcon("go-previous")
            .paint(painter, mark, Qt::AlignCenter, focus ? QIcon::Normal : QIcon::Disabled);
    }
};
} // namespace

ClickList::ClickList(CMorvath3Doc& doc, QWidget* parent) : QWidget(parent), doc_(doc) {
    caption_ = new QLabel("Correction List \nTime         Mag.", this);
    list_ = new QListWidget(this);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setUniformItemSizes(true);
    list_->setItemDelegate(new RowDelegate(list_));
    QFont mono("Monospace");
    mono.setStyleHint(QFont::TypeWriter);
    list_->setFont(mono);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(caption_);
    layout->addWidget(list_);
    connect(list_, &QListWidget::itemPressed, this, [this](QListWidgetItem* item) {
        rowChosen(item, QApplication::keyboardModifiers() & Qt::ShiftModifier);
    });
    connect(list_, &QListWidget::currentItemChanged, this,
            [this](QListWidgetItem* item, QListWidgetItem*) {
                if (!quiet_ && item && !(QApplication::mouseButtons() & Qt::LeftButton))
                    rowChosen(item, QApplication::keyboardModifiers() & Qt::ShiftModifier);
            });
    QFontMetrics fm(mono);
    setFixedWidth(fm.horizontalAdvance("-00:00:000      0            ") + 25 +
                  list_->verticalScrollBar()->sizeHint().width());
    readThreshold();
}

void ClickList::readThreshold() {
    threshold_ = view::listThreshold(get(doc_.profile(), settings::kListSel),
                                     get(doc_.profile(), settings::kListMag));
}

int32_t ClickList::trackStart() const {
    const int t = doc_.tracks.trackCount() > 0 && doc_.currentEntry > 0 &&
                          doc_.currentEntry < doc_.corrections.count() - 1
                      ? doc_.tracks.holding(doc_.splices.sourceToDisplay(
                            doc_.corrections[doc_.currentEntry].position))
                      : 0;
    if (t == 0) return doc_.store.layout.dataStart;
    return doc_.splices.displayToSource(doc_.tracks[t].start);
}

void ClickList::reset() {
    quiet_ = true;
    list_->clear();
    quiet_ = false;
}

void ClickList::refill() {
    quiet_ = true;
    list_->setUpdatesEnabled(false);
    list_->clear();
    const CorrectionList& c = doc_.corrections;
    const int32_t origin = trackStart();
    const int rate = doc_.store.layout.sampleRate;
    for (int i = 1; i <= c.count() - 2; ++i) {
        if (!view::listed(c[i], threshold_)) continue;
        auto* item = new QListWidgetItem(QString::fromStdString(view::rowText(c[i], origin, rate)));
        const int cls = kindClass(c[i]);
        item->setData(kKeyRole, qint64(view::rowKey(c[i])));
        item->setData(kKindRole, c[i].magnitude);
        item->setBackground(rgb(view::kindColour(cls)));
        if (c[i].magnitude == magnitude_codes::kSplice) item->setForeground(Qt::white);
        if (c[i].magnitude == magnitude_codes::kInsertedCurrent) item->setForeground(Qt::blue);
        list_->addItem(item); // the list is in key order already
    }
    list_->setUpdatesEnabled(true);
    quiet_ = false;
}

int ClickList::rowOf(int64_t key) const {
    int lo = 0, hi = list_->count();
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (list_->item(mid)->data(kKeyRole).toLongLong() < key)
            lo = mid + 1;
        else
            hi = mid;
    }
    for (int r = lo; r < list_->count() && list_->item(r)->data(kKeyRole).toLongLong() == key; ++r)
        if (list_->item(r)->data(kKindRole).toInt() != kPseudoKind) return r;
    return -1;
}

void ClickList::insertRow(int64_t key, const QString& text, int cls, int magnitude) {
    int lo = 0, hi = list_->count();
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        if (list_->item(mid)->data(kKeyRole).toLongLong() <= key)
            lo = mid + 1;
        else
            hi = mid;
    }
    auto* item = new QListWidgetItem(text);
    item->setData(kKeyRole, qint64(key));
    item->setData(kKindRole, magnitude);
    if (magnitude == kPseudoKind) {
        item->setForeground(Qt::blue);
    } else {
        item->setBackground(rgb(view::kindColour(cls)));
        if (magnitude == magnitude_codes::kSplice) item->setForeground(Qt::white);
        if (magnitude == magnitude_codes::kInsertedCurrent) item->setForeground(Qt::blue);
    }
    list_->insertItem(lo, item);
}

void ClickList::addEntry(int index) {
    const CorrectionList& c = doc_.corrections;
    if (index < 1 || index > c.count() - 2 || !view::listed(c[index], threshold_)) return;
    const int64_t key = view::rowKey(c[index]);
    if (rowOf(key) >= 0 && list_->item(rowOf(key))->data(kKindRole).toInt() == c[index].magnitude)
        return;
    quiet_ = true;
    insertRow(
        key,
        QString::fromStdString(view::rowText(c[index], trackStart(), doc_.store.layout.sampleRate)),
        kindClass(c[index]), c[index].magnitude);
    quiet_ = false;
}

void ClickList::removeEntry(int index) {
    const CorrectionList& c = doc_.corrections;
    if (index < 1 || index > c.count() - 2) return;
    const int row = rowOf(view::rowKey(c[index]));
    if (row < 0) return;
    // Entries sharing a key: drop the row whose kind matches.
    quiet_ = true;
    int r = row;
    for (; r < list_->count() &&
           list_->item(r)->data(kKeyRole).toLongLong() == view::rowKey(c[index]);
         ++r)
        if (list_->item(r)->data(kKindRole).toInt() == c[index].magnitude) break;
    if (r >= list_->count() ||
        list_->item(r)->data(kKeyRole).toLongLong() != view::rowKey(c[index]))
        r = row;
    delete list_->takeItem(r);
    quiet_ = false;
}

void ClickList::invalidateEntry(int index) {
    removeEntry(index);
    addEntry(index);
}

void ClickList::selectEntry(int index) {
    const CorrectionList& c = doc_.corrections;
    if (index < 1 || index > c.count() - 2) return;
    quiet_ = true;
    removePseudoRows();
    const int64_t key = view::rowKey(c[index]);
    int row = rowOf(key);
    if (row >= 0) {
        // The row may be stale (kind changed): rewrite it.
        QListWidgetItem* item = list_->item(row);
        item->setText(QString::fromStdString(
            view::rowText(c[index], trackStart(), doc_.store.layout.sampleRate)));
        item->setData(kKindRole, c[index].magnitude);
        item->setBackground(rgb(view::kindColour(kindClass(c[index]))));
        item->setForeground(c[index].magnitude == magnitude_codes::kInsertedCurrent ? Qt::blue
                            : c[index].magnitude == magnitude_codes::kSplice        ? Qt::white
                                                                                    : Qt::black);
    } else if (index != editing_) {
        insertRow(key,
                  QString::fromStdString(
                      view::rowText(c[index], trackStart(), doc_.store.layout.sampleRate)),
                  kindClass(c[index]), c[index].magnitude);
        row = rowOf(key);
    }
    list_->clearSelection();
    if (row >= 0) {
        list_->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
        list_->scrollToItem(list_->item(row), QAbstractItemView::PositionAtCenter);
    }
    quiet_ = false;
}

void ClickList::showBlock(int32_t start, int32_t end) {
    quiet_ = true;
    removePseudoRows();
    insertRow(start, "      Block Start", 6, kPseudoKind);
    insertRow(end, "      Block End", 6, kPseudoKind);
    list_->clearSelection();
    int first = -1, last = -1;
    for (int r = 0; r < list_->count(); ++r) {
        if (list_->item(r)->data(kKindRole).toInt() != kPseudoKind) continue;
        (first < 0 ? first : last) = r;
    }
    if (first >= 0 && last >= 0) {
        for (int r = first; r <= last; ++r) list_->item(r)->setSelected(true);
        list_->scrollToItem(list_->item(std::max(0, first - 3)), QAbstractItemView::PositionAtTop);
    }
    quiet_ = false;
}

void ClickList::clearBlock() {
    quiet_ = true;
    removePseudoRows();
    list_->clearSelection();
    quiet_ = false;
}

void ClickList::removePseudoRows() {
    for (int r = list_->count() - 1; r >= 0; --r)
        if (list_->item(r)->data(kKindRole).toInt() == kPseudoKind) delete list_->takeItem(r);
}

void ClickList::step(int rows) {
    if (list_->count() == 0) return;
    const int row = std::clamp(std::max(0, list_->currentRow()) + rows, 0, list_->count() - 1);
    rowChosen(list_->item(row), false);
}

void ClickList::rowChosen(QListWidgetItem* item, bool shift) {
    if (!item || quiet_) return;
    int64_t key = item->data(kKeyRole).toLongLong();
    const bool pseudo = item->data(kKindRole).toInt() == kPseudoKind;
    if (pseudo) key += 2;
    const bool trackStartKey = key % 2 != 0 && !pseudo;
    const int32_t position = int32_t(trackStartKey ? key - 1 : key);
    const CorrectionList& c = doc_.corrections;
    int entry = c.find(position);
    if (entry > c.count() - 2) entry = view::nearestEntry(c, position);
    if (entry < 1) return;
    if (trackStartKey && entry + 1 <= c.count() - 2 && c[entry].position == position &&
        !isStartMarker(c[entry]))
        ++entry;
    quiet_ = true;
    removePseudoRows();
    quiet_ = false;
    if (!shift) {
        doc_.observer().entrySelected(entry);
        return;
    }
    const bool haveBlock = doc_.blockEnd > doc_.blockStart;
    int32_t from = haveBlock ? (position < doc_.blockStart ? doc_.blockEnd : doc_.blockStart)
                             : (doc_.currentEntry > 0 ? c[doc_.currentEntry].position : position);
    int32_t a = std::min(from, position) - 4, b = std::max(from, position) + 4;
    emit blockWanted(a, b);
}

} // namespace tarnival
