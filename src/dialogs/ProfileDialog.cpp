#include "dialogs/Dialogs.h"
#include "dialogs/GraphDlg.h"
#include "dsp/NoiseProfile.h"
#include "facade/Document.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

namespace tarnival {

bool captureProfileCommand(QWidget*, CMorvath3Doc& doc) {
    if (!doc.isLoaded()) {
        doc.ui().beep();
        return false;
    }
    FilterContext ctx = doc.filterContext();
    return CaptureProfileCommand(ctx);
}

std::optional<ProfileSpan> viewProfileCommand(QWidget* parent, CMorvath3Doc& doc) {
    if (!doc.isLoaded()) {
        doc.ui().beep();
        return std::nullopt;
    }
    const SpliceList& splices = doc.splices;
    auto touchesCut = [&splices](int32_t start, int32_t end) {
        for (const Splice& s : splices.splices)
            if (start < s.cutEnd + s.crossFade && end > s.cutStart - s.crossFade) return true;
        return false;
    };
    FilterContext ctx = doc.filterContext();
    std::optional<ProfileBlock> block = ViewProfileCommand(ctx, touchesCut);
    if (!block) return std::nullopt;
    // The block becomes the selection, so the waveform view shows where the noise came from.
    doc.SelectBlock(block->start, block->end);
    doc.observer().redraw();

    QDialog dialog(parent);
    dialog.setWindowTitle("View Profile");
    const int rate = doc.store.layout.sampleRate;
    auto* plot = new ProfilePlot(&dialog, doc.filters.tables.Profile, rate);
    auto* where =
        new QLabel(QString("Noise profile from %1 s to %2 s")
                       .arg((block->start - doc.store.layout.dataStart) / 4.0 / rate, 0, 'f', 2)
                       .arg((block->end - doc.store.layout.dataStart) / 4.0 / rate, 0, 'f', 2),
                   &dialog);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(plot, 1);
    layout->addWidget(where);
    layout->addWidget(buttons);
    dialog.exec();
    return ProfileSpan{block->start, block->end};
}

} // namespace tarnival
