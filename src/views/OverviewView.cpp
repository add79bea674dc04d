#include "views/OverviewView.h"

#include "facade/Document.h"
#include "tracks/TrackMarkers.h"
#include "views/ClickView.h"
#include "views/EntryNavigation.h"

#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace tarnival {

OverviewView::OverviewView(CMorvath3Doc& doc, ClickView& wave, QWidget* parent)
    : QWidget(parent), doc_(doc), wave_(wave) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumHeight(120);
}

void OverviewView::setSpectrum(bool on) {
    spectrum_ = on;
    update();
}

void OverviewView::setSignature(bool on) {
    signature_ = on;
    update();
}

void OverviewView::setAllTracks(bool on) {
    allTracks_ = on;
    update();
}

void OverviewView::setPlayPosition(int64_t position) {
    play_ = position;
    update();
}

int OverviewView::shownTrack() const {
    if (allTracks_ || doc_.tracks.trackCount() == 0) return 0;
    return doc_.tracks.holding(doc_.splices.sourceToDisplay(wave_.position()));
}

int32_t OverviewView::rangeStart() const {
    const int t = shownTrack();
    if (t == 0) return doc_.store.layout.dataStart;
    return std::max(doc_.store.layout.dataStart,
                    doc_.splices.displayToSource(doc_.tracks[t].start));
}

int32_t OverviewView::rangeEnd() const {
    const int t = shownTrack();
    if (t == 0 || doc_.tracks[t].end <= doc_.tracks[t].start) return doc_.store.layout.dataEnd;
    return std::min(doc_.store.layout.dataEnd, doc_.splices.displayToSource(doc_.tracks[t].end));
}

double OverviewView::bytesPerPixel() const {
    return std::max(1.0, double(rangeEnd() - rangeStart()) / std::max(1, width()));
}

double OverviewView::xOf(int64_t position) const {
    return (position - rangeStart()) / bytesPerPixel();
}

int32_t OverviewView::positionAt(int x) const {
    const WaveLayout& l = doc_.store.layout;
    const int64_t p = rangeStart() + int64_t(x * bytesPerPixel());
    return l.toFrame(
        int32_t(std::clamp<int64_t>(p, l.dataStart, std::max(l.dataStart, l.dataEnd - 4))));
}

QString OverviewView::trackLabel(int track) const {
    const Track& t = doc_.tracks[track];
    if (!t.title.empty() && t.title.rfind("???", 0) != 0)
        return QString("Tr.%1:%2 ").arg(track).arg(QString::fromStdString(t.title)).left(80);
    return QString("Track %1").arg(track);
}

void OverviewView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(32, 32, 32));
    label_ = QRect();
    if (!doc_.isLoaded() || doc_.overview.chunkLevels.empty()) return;
    if (spectrum_)
        paintSpectrum(p);
    else
        paintOverview(p);
}

void OverviewView::paintOverview(QPainter& p) {
    const int w = width();
    const double B = bytesPerPixel();
    const int32_t start = rangeStart(), end = rangeEnd();
    const auto& levels = doc_.overview.chunkLevels;
    const TrackList& tracks = doc_.tracks;

    // Level bars, one column at a time (a column covers one or more chunks).
    for (int x = 0; x < w; ++x) {
        const int64_t a = start + int64_t(x * B), b = start + int64_t((x + 1) * B);
        if (a >= end) break;
        size_t c0 = size_t(a / 4096), c1 = size_t(std::max<int64_t>(a, b - 1) / 4096);
        c1 = std::min(c1, levels.size() - 1);
        int level = 0;
        for (size_t c = c0; c <= c1; ++c) level = std::max(level, levels[c]);
        const double h = std::max(230.0, 40 * std::log10(std::max(level, 1)));
        const int32_t d = doc_.splices.sourceToDisplay(int32_t(a));
        int track = 0;
        for (int t = 1; t <= tracks.trackCount(); ++t)
            if (d >= tracks[t].start && d < tracks[t].end) track = t;
        QColor c = track == 0    ? QColor(128, 128, 128)
                   : (track % 2) ? QColor(255, 160, 160)
                                 : QColor(160, 160, 255);
        const int top = int(320 - h);
        p.fillRect(QRect(x, top, 1, std::max(1, 92 - top)), c);
    }

    // Correction signature: one point per 256 KiB.
    if (signature_) {
        const auto& counters = doc_.corrections.blockCounters();
        QPolygonF line;
        for (size_t i = 0; i < counters.size(); ++i) {
            const int64_t pos = int64_t(i) * kBlockSize;
            if (pos < start - kBlockSize || pos > end) continue;
            const int c = counters[i];
            line << QPointF(xOf(pos), c / 3 > 34 ? 5 : 40 - c / 3.0);
        }
        p.setPen(QPen(QColor(255, 0, 0), 1));
        p.drawPolyline(line);
    }

    // Entry ticks by kind class, later classes on top.
    const CorrectionList& list = doc_.corrections;
    const QColor classColours[5] = {{}, {0, 255, 0}, {255, 255, 0}, {255, 0, 0}, {192, 192, 255}};
    const int first = list.find(start), last = std::min(list.count() - 2, list.find(end));
    for (int cls = 1; cls <= 4; ++cls) {
        int lastX = -10;
        for (int i = first; i <= last; ++i) {
            if (kindClass(list[i]) != cls) continue;
            const int x = int(xOf(list[i].position));
            if (cls == 1 && x == lastX) continue;
            lastX = x;
            p.fillRect(QRect(x, 100, 2, 15), classColours[cls]);
        }
    }
    p.setCompositionMode(QPainter::CompositionMode_Difference);
    for (int i = first; i <= last; ++i)
        if (list[i].magnitude == magnitude_codes::kCue)
            p.fillRect(QRect(int(xOf(list[i].position)), 100, 2, 15), Qt::white);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);

    // Label of the shown stretch.
    if (tracks.trackCount() >= 2) {
        const int t = shownTrack();
        const QString text = t == 0 ? QString("All Tracks") : trackLabel(t);
        QFontMetrics fm(font());
        label_ = QRect(w - fm.horizontalAdvance(text) - 8, 5, fm.horizontalAdvance(text) + 6,
                       fm.height());
        p.fillRect(label_, QColor(128, 128, 128));
        p.setPen(Qt::white);
        p.drawText(label_, Qt::AlignCenter, text);
    }

    // The stretch the waveform view shows.
    p.fillRect(QRect(0, 0, w, 5), Qt::black);
    const double half = double(wave_.samplesPerDiv()) / 50 * wave_.width() * 2 / B;
    const double cx = xOf(wave_.position());
    p.fillRect(QRectF(cx - half, 0, std::max(2.0, 2 * half), 5), Qt::white);

    // Block band and play position by inversion.
    p.setCompositionMode(QPainter::CompositionMode_Difference);
    if (dragging_) {
        p.fillRect(QRect(std::min(pressX_, dragX_), 90, std::abs(dragX_ - pressX_), 30), Qt::white);
    } else if (wave_.hasBlock()) {
        const double a = xOf(wave_.blockStart()), b = xOf(wave_.blockEnd());
        p.fillRect(QRectF(a, 90, std::max(1.0, b - a), 30), Qt::white);
    }
    if (play_ >= 0) p.fillRect(QRect(int(xOf(play_)), 0, 1, height()), Qt::white);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void OverviewView::paintSpectrum(QPainter& p) {
    const int w = width();
    const QColor cyan(0, 200, 200);
    p.setFont(QFont("Arial", 8));
    p.setPen(QPen(cyan, 1, Qt::DotLine));
    const int nyquist = doc_.store.layout.sampleRate / 2000;
    for (int k = 0; k <= nyquist; k += 2) {
        const int x = w * k / std::max(1, nyquist);
        p.drawLine(x, 0, x, 120);
        p.drawText(x + 2, 100, QString::number(k));
    }
    p.drawText(w - 30, 100, "kHz");
    for (int y = 20; y <= 100; y += 20) p.drawLine(0, y, w, y);

    const QString source = corrected_ ? "Corrected" : "Original";
    QFontMetrics fm(p.font());
    label_ = QRect(w - fm.horizontalAdvance(source) - 8, 2, fm.horizontalAdvance(source) + 6,
                   fm.height());
    p.fillRect(label_, QColor(128, 128, 128));
    p.setPen(Qt::white);
    p.drawText(label_, Qt::AlignCenter, source);

    int16_t samples[1024] = {};
    const int64_t from = int64_t(wave_.position()) - 1024;
    if (from >= 0) {
        if (corrected_)
            doc_.store.readWorking(from, samples, sizeof samples);
        else
            doc_.store.readSource(from, samples, sizeof samples);
    }
    CFft& fft = doc_.fft;
    for (int channel = 0; channel < 2; ++channel) {
        for (int i = 0; i < 512; ++i)
            fft.Buffer[i] = samples[i * 2 + channel] * (1 - std::cos(M_PI * i / 256));
        fft.Transform(1);
        QPolygonF line;
        line << QPointF(0, 100);
        for (int i = 0; i < 256; ++i) {
            const double mag = std::max(fft.Magnitude(i), 1e-3);
            line << QPointF(double(w) * i / 256, 120 - 20 * std::log10(mag));
        }
        p.setPen(QPen(channel == 0 ? QColor(0, 255, 0) : QColor(255, 0, 0), 1));
        p.drawPolyline(line);
    }
}

void OverviewView::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    setCursor(label_.contains(at) ? Qt::PointingHandCursor : Qt::ArrowCursor);
    if (!doc_.isLoaded()) return;
    emit cursorPosition(positionAt(at.x()));
    if (dragging_) {
        dragX_ = at.x();
        update();
    }
}

void OverviewView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !doc_.isLoaded()) return;
    const QPoint at = event->position().toPoint();
    if (spectrum_) {
        if (label_.contains(at)) {
            corrected_ = !corrected_;
            update();
        }
        return;
    }
    if (label_.contains(at)) {
        allTracks_ = !allTracks_;
        if (doc_.currentEntry > 0) doc_.observer().entrySelected(doc_.currentEntry);
        doc_.observer().redraw();
        return;
    }
    dragging_ = true;
    pressX_ = dragX_ = at.x();
}

void OverviewView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !dragging_) return;
    dragging_ = false;
    const int x = event->position().toPoint().x();
    if (std::abs(x - pressX_) > 3) {
        wave_.setBlock(positionAt(std::min(x, pressX_)), positionAt(std::max(x, pressX_)));
        update();
        return;
    }
    const int32_t p = std::max(positionAt(x), doc_.store.layout.dataStart);
    if (wave_.adjusting()) return;
    if (wave_.playing()) {
        wave_.playback().seek(p);
        return;
    }
    wave_.clearBlock();
    const CorrectionList& list = doc_.corrections;
    const int near = view::nearestEntry(list, p);
    if (near && list[near].width >= 0 && std::abs(list[near].position - p) < 10 * bytesPerPixel())
        doc_.observer().entrySelected(near);
    else
        wave_.setPosition(p);
    update();
}

void OverviewView::contextMenuEvent(QContextMenuEvent* event) {
    if (!doc_.isLoaded()) return;
    if (doc_.currentEntry > 0) doc_.observer().entrySelected(doc_.currentEntry);
    emit trackMenuWanted(event->globalPos());
}

void OverviewView::leaveEvent(QEvent*) {
    emit cursorPosition(-1);
}

bool OverviewView::event(QEvent* e) {
    if (e->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(e);
        if (shownTrack() == 0 && doc_.tracks.count() > 2 && !spectrum_) {
            const int32_t d = doc_.splices.sourceToDisplay(positionAt(help->pos().x()));
            const int t = doc_.tracks.holding(d);
            if (t > 0) {
                QToolTip::showText(help->globalPos(), trackLabel(t), this);
                return true;
            }
        }
        QToolTip::hideText();
        e->ignore();
        return true;
    }
    return QWidget::event(e);
}

} // namespace tarnival
