#pragma once
// Helpers for driving the desktop application headless.
#include "app/MainWindow.h"
#include "document/Profile.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <memory>
#include <string>

namespace tarnival::test {

// Answers message boxes as they appear: each box's text is recorded and the next queued button
// text is pressed (the default button, else the first accepting one, when the queue is empty).
class BoxAnswerer {
  public:
    QStringList texts;
    std::deque<QString> answers;

    BoxAnswerer() {
        QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
        timer_.start(20);
    }

  private:
    void poll() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        // Boxes on the stack may reuse an address: mark each one answered instead.
        if (!box || box->property("answered").toBool()) return;
        box->setProperty("answered", true);
        texts << box->text();
        QAbstractButton* press = nullptr;
        if (!answers.empty()) {
            for (QAbstractButton* b : box->buttons())
                if (b->text().remove('&') == answers.front()) press = b;
            answers.pop_front();
        }
        if (!press) press = box->defaultButton();
        if (!press)
            for (QAbstractButton* b : box->buttons())
                if (box->buttonRole(b) == QMessageBox::AcceptRole ||
                    box->buttonRole(b) == QMessageBox::YesRole)
                    press = b;
        if (!press && !box->buttons().isEmpty()) press = box->buttons().first();
        QTimer::singleShot(0, press, [press] { press->click(); });
    }

    QTimer timer_;
};

// Counts the rows put into a list widget while it lives: a list filled once over an operation
// gets as many as it shows at the end, one refilled again and again several times that.
class RowsMade {
  public:
    int count = 0;

    explicit RowsMade(QListWidget* list) {
        connection_ = QObject::connect(
            list->model(), &QAbstractItemModel::rowsInserted,
            [this](const QModelIndex&, int first, int last) { count += last - first + 1; });
    }
    ~RowsMade() { QObject::disconnect(connection_); }
    RowsMade(const RowsMade&) = delete;
    RowsMade& operator=(const RowsMade&) = delete;

  private:
    QMetaObject::Connection connection_;
};

// Settings for a test window: the working file beside the input, the scan at its usual
// sensitivity without showing the options.
inline std::unique_ptr<Profile> testProfile() {
    auto p = std::make_unique<MemoryProfile>();
    p->setInt("Settings", "Sensitivity", 3);
    p->setInt("Settings", "Temp Mode", 1136);
    return p;
}

} // namespace tarnival::test
