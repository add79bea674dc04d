#pragma once
#include <QWidget>

#include <cstdint>

class QLabel;
class QListWidget;
class QListWidgetItem;

namespace tarnival {

class CMorvath3Doc;

// The correction list beside the waveform view: the entries in time order, filtered by
// magnitude, coloured by kind; a click makes an entry current, Shift+click selects a block.
class ClickList : public QWidget {
    Q_OBJECT
  public:
    explicit ClickList(CMorvath3Doc& doc, QWidget* parent = nullptr);

    QListWidget* list() const { return list_; }
    int threshold() const { return threshold_; }
    // Re-reads "ListSel" and "ListMag".
    void readThreshold();

    void reset();
    void refill();
    void addEntry(int index);
    void removeEntry(int index);
    void selectEntry(int index);
    void invalidateEntry(int index);
    void showBlock(int32_t start, int32_t end);
    void clearBlock();
    void step(int rows);
    // Row whose key is key, -1 when absent.
    int rowOf(int64_t key) const;
    // The entry being adjusted is not re-added while it moves.
    void setEditing(int index) { editing_ = index; }

  signals:
    void blockWanted(qint64 start, qint64 end);

  private:
    void insertRow(int64_t key, const QString& text, int kindClass, int magnitude);
    void rowChosen(QListWidgetItem* item, bool shift);
    void removePseudoRows();
    int32_t trackStart() const;

    CMorvath3Doc& doc_;
    QLabel* caption_;
    QListWidget* list_;
    int threshold_ = -1;
    int editing_ = 0;
    bool quiet_ = false;
};

} // namespace tarnival
