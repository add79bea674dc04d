#include "dialogs/FilterTestWindow.h"
#include "devices/DeviceList.h"
#include "facade/Document.h"

#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace tarnival {

namespace {
// Where the test starts: the selected block, else the current entry, else the audio's start.
int64_t testStart(const CMorvath3Doc& doc) {
    if (doc.blockEnd > doc.blockStart) return doc.blockStart;
    if (doc.currentEntry > 0 && doc.currentEntry < doc.corrections.count())
        return doc.corrections[doc.currentEntry].position;
    return doc.store.layout.dataStart;
}
} // namespace

FilterTestWindow::FilterTestWindow(QWidget* parent, CMorvath3Doc& doc,
                                   const FilterSettings& settings)
    : QDialog(parent), doc_(doc), filters_(Effective(settings, settings.hasProfile())),
      position_(testStart(doc)) {
    setWindowTitle("Filter Test");
    auto* period = new QGroupBox("Test Period", this);
    four_ = new QRadioButton("4 Sec.", period);
    twenty_ = new QRadioButton("20 Sec", period);
    four_->setChecked(true);
    auto* periodLayout = new QHBoxLayout(period);
    periodLayout->addWidget(four_);
    periodLayout->addWidget(twenty_);
    original_ = new QPushButton("Play Original", this);
    filtered_ = new QPushButton("Play Filtered", this);
    auto* end = new QPushButton("End Tests", this);
    connect(original_, &QPushButton::clicked, this, [this] { play(originalAudio()); });
    connect(filtered_, &QPushButton::clicked, this, [this] { play(filteredAudio()); });
    connect(end, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(original_);
    buttons->addWidget(filtered_);
    buttons->addWidget(end);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(period);
    layout->addLayout(buttons);
}

FilterTestWindow::~FilterTestWindow() {
    stopPlaying();
}

FilterRange FilterTestWindow::stretch() const {
    return TestStretch(doc_.store.layout, position_, twenty_->isChecked());
}

const std::vector<int16_t>& FilterTestWindow::originalAudio() {
    FilterRange r = stretch();
    if (r.start != made_.start || r.end != made_.end) {
        original_audio_.assign(static_cast<size_t>((r.end - r.start) / 2), 0);
        if (r.end > r.start)
            doc_.store.readWorking(r.start, original_audio_.data(),
                                   static_cast<size_t>(r.end - r.start));
        made_ = r;
    }
    return original_audio_;
}

const std::vector<int16_t>& FilterTestWindow::filteredAudio() {
    FilterRange r = stretch();
    // The same choices over the same stretch only replay.
    if (r.start != madeFiltered_.start || r.end != madeFiltered_.end) {
        FilterContext ctx = doc_.filterContext();
        filtered_audio_ = FilterTest(ctx, r, filters_);
        madeFiltered_ = r;
    }
    return filtered_audio_;
}

void FilterTestWindow::stopPlaying() {
    if (sink_) sink_->stop();
    sink_.reset();
    buffer_.reset();
}

void FilterTestWindow::play(const std::vector<int16_t>& audio) {
    stopPlaying();
    if (audio.empty()) return;
    std::string notice;
    QAudioDevice device = resolveOutputDevice(get(doc_.profile(), settings::kOutputDevice), notice);
    if (!notice.empty()) doc_.ui().message(notice);
    if (device.isNull()) return;
    QAudioFormat format;
    format.setSampleRate(doc_.store.layout.sampleRate);
    format.setChannelCount(2);
    format.setSampleFormat(QAudioFormat::Int16);
    bytes_ = QByteArray(reinterpret_cast<const char*>(audio.data()),
                        static_cast<qsizetype>(audio.size() * sizeof(int16_t)));
    buffer_ = std::make_unique<QBuffer>(&bytes_);
    buffer_->open(QIODevice::ReadOnly);
    sink_ = std::make_unique<QAudioSink>(device, format);
    sink_->start(buffer_.get());
}

} // namespace tarnival
