#pragma once
#include "document/DocumentObserver.h"

#include <QWidget>

namespace tarnival {

class CMorvath3Doc;
class ClickList;
class ClickView;
class OverviewView;

// The document's frame: the waveform view, the overview below it and the correction list on the
// right. It hears what the document tells its views and passes it on to each.
class ChildFrame : public QWidget, public DocumentObserver {
    Q_OBJECT
  public:
    explicit ChildFrame(CMorvath3Doc& doc, QWidget* parent = nullptr);
    ~ChildFrame() override;

    ClickView& wave() const { return *wave_; }
    OverviewView& overview() const { return *overview_; }
    ClickList& list() const { return *list_; }

    // Held over a long operation (an open, a session restore) that tells the views several times
    // that the list was refilled: the list is refilled once, when the last hold ends. Meanwhile
    // it shows nothing rather than rows that no longer match the document.
    class RefillHold {
      public:
        explicit RefillHold(ChildFrame& frame);
        ~RefillHold();
        RefillHold(const RefillHold&) = delete;
        RefillHold& operator=(const RefillHold&) = delete;

      private:
        ChildFrame& frame_;
    };

    // DocumentObserver
    void entryAdded(int index) override;
    void entryRemoved(int index) override;
    void entrySelected(int index) override;
    void listRefilled() override;
    void listEmptied() override;
    void trackDisplayChanged() override;
    void redraw() override;
    void titleChanged() override;

  signals:
    void documentChanged(); // title, state or selection: the frame's owner refreshes
    void selectionChanged();

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    void followCurrentEntry();
    void refillList();
    void markListStale();

    CMorvath3Doc& doc_;
    ClickView* wave_;
    OverviewView* overview_;
    ClickList* list_;
    int holds_ = 0;
    bool listStale_ = false;
};

} // namespace tarnival
