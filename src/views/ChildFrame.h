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
    CMorvath3Doc& doc_;
    ClickView* wave_;
    OverviewView* overview_;
    ClickList* list_;
};

} // namespace tarnival
