#pragma once
// A loaded record side behind a scripted user interface, for driving the dialogs offscreen.
#include "document/Profile.h"
#include "document/Settings.h"
#include "facade/Document.h"
#include "support/ScriptedUi.h"
#include "support/TempDir.h"
#include "synth/DemoSide.h"

#include <QAbstractButton>
#include <QApplication>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>

namespace tarnival::test {

struct LoadedSide {
    TempDir dir;
    MemoryProfile profile;
    ScriptedUi ui;
    std::unique_ptr<CMorvath3Doc> doc;
    DemoSide side;
    std::string input;

    // pieces of music separated by pauses, so that the side has that many tracks.
    explicit LoadedSide(int pieces = 3, double pieceSeconds = 13.0) {
        set(profile, settings::kSensitivity, 3);
        set(profile, settings::kTempMode, ids::kTempSameFolder);
        input = dir.file("side.wav");
        side = writeDemoSide(input, pieces, pieceSeconds, 2.5);
        doc = std::make_unique<CMorvath3Doc>(profile, ui);
        if (doc->OpenWave(input)) doc->ProcessFile();
    }
};

// Clicks a button, check box or radio button where its indicator is: radio buttons and check
// boxes only take clicks on their indicator and text, not on the rest of a wide cell.
inline void press(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

// Calls f with the next modal dialog of type T once it is shown, from the event loop; gives up
// after a few seconds so that a test fails instead of hanging.
template <class T> void onNextModal(std::function<void(T*)> f) {
    auto* timer = new QTimer;
    auto tries = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, tries, f] {
        if (auto* dialog = dynamic_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            f(dialog);
        } else if (++*tries > 500) {
            timer->stop();
            timer->deleteLater();
            if (QWidget* other = QApplication::activeModalWidget()) other->close();
        }
    });
    timer->start(10);
}

} // namespace tarnival::test
