#pragma once

namespace tarnival {

// What the document tells its views. Every call does nothing by default so that headless users
// (CLI, batch, tests) need not care.
class DocumentObserver {
  public:
    virtual ~DocumentObserver() = default;
    virtual void entryAdded(int /*index*/) {}
    virtual void entryRemoved(int /*index*/) {}
    virtual void entrySelected(int /*index*/) {}
    virtual void listRefilled() {}
    virtual void listEmptied() {}
    virtual void trackDisplayChanged() {}
    virtual void redraw() {}
    virtual void titleChanged() {}
};

} // namespace tarnival
