#include "views/ClickView.h"

#include "devices/QtAudioOutput.h"
#include "devices/QtEngineLoop.h"
#include "document/Settings.h"
#include "facade/Document.h"
#include "tracks/CutSplice.h"
#include "tracks/TrackEditing.h"
#include "tracks/TrackMarkers.h"
#include "views/AdjustDialog.h"
#include "views/EntryNavigation.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace tarnival {

using view::Mapping;

namespace {

constexpr int kSignatureHeight = 20;
constexpr const char* kExpandQuestion =
    "To Adjust/Insert a correction, the horizontal scale needs to be expanded\nContinuing will "
    "reset the Horizontal Scale to 100 samples per division.\nContinue with Adjust/Insert?";

} // namespace

ClickView::ClickView(CMorvath3Doc& doc, QWidget* parent)
    : QWidget(parent), doc_(doc), output_(std::make_unique<QtAudioOutput>()),
      loop_(std::make_unique<QtEngineLoop>()) {
    playback_ = std::make_unique<PlaybackEngine>(
        PlaybackDocument{doc_.store, doc_.tracks, doc_.splices}, *output_, *loop_, doc_.ui());
    playback_->setObserver(this);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(200, 150);
    Profile& profile = doc_.profile();
    scale_ = get(profile, settings::kGraticule) != 0;
    thin_ = get(profile, settings::kThinTrace) != 0;
    background_ = std::clamp(get(profile, settings::kBackground), 0, 2);
    findCriterion_ = 30;
    adjust_ = new AdjustDialog(this);
    connect(adjust_, &AdjustDialog::applied, this, &ClickView::applyAdjust);
    connect(adjust_, &AdjustDialog::aborted, this, &ClickView::abortAdjust);
}

ClickView::~ClickView() {
    playback_->setObserver(nullptr);
    playback_->stopNow();
}

// ---- Document ----------------------------------------------------------------------------

bool ClickView::loaded() const {
    return doc_.isLoaded() && doc_.store.layout.dataEnd > doc_.store.layout.dataStart;
}

bool ClickView::busy() const {
    return doc_.ui().progressShown();
}

void ClickView::fileOpened() {
    rate_ = doc_.store.layout.sampleRate;
    position_ = doc_.store.layout.toFrame(doc_.store.layout.dataStart);
    fineIndex_ = view::kDefaultFineIndex;
    coarseIndex_ = view::kDefaultCoarseIndex;
    blockStart_ = blockEnd_ = 0;
    cues_.clear();
    lastCueRequest_ = -1;
    limitScale();
    emit scaleChanged();
    emit stateChanged();
    update();
}

void ClickView::fileClosed() {
    if (adjusting_) {
        adjusting_ = false;
        adjust_->hide();
    }
    playback_->stopNow();
    blockStart_ = blockEnd_ = 0;
    position_ = 0;
    cues_.clear();
    emit stateChanged();
    update();
}

void ClickView::showEntry(int index) {
    const CorrectionList& list = doc_.corrections;
    if (index > 0 && index < list.count() - 1) {
        position_ = list[index].position;
        boundaryPos_ = position_;
        readToolLengths();
        emit cursorPosition(position_);
    }
    emit scaleChanged();
    emit stateChanged();
    update();
}

void ClickView::setPosition(int32_t position) {
    const WaveLayout& l = doc_.store.layout;
    position_ = l.toFrame(std::clamp(position, l.dataStart, std::max(l.dataStart, l.dataEnd - 4)));
    emit cursorPosition(position_);
    emit stateChanged();
    update();
}

void ClickView::selectEntry(int index) {
    if (index <= 0) return;
    doc_.observer().entrySelected(index);
}

bool ClickView::currentIsCorrection() const {
    const CorrectionList& list = doc_.corrections;
    int i = doc_.currentEntry;
    return i > 0 && i < list.count() - 1 && list[i].width >= 0 &&
           list[i].magnitude != magnitude_codes::kCue &&
           list[i].magnitude != magnitude_codes::kSplice && list[i].position == position_;
}

bool ClickView::currentIsMarker() const {
    const CorrectionList& list = doc_.corrections;
    int i = doc_.currentEntry;
    return i > 0 && i < list.count() - 1 && isTrackMarker(list[i]);
}

bool ClickView::currentInCut() const {
    return doc_.splices.isInCut(position_);
}

bool ClickView::canEditCorrection() const {
    return loaded() && !playing() && !hasBlock() && !currentInCut() && !busy();
}

bool ClickView::handlesActive() const {
    return (!busy() && samplesPerDiv() < 1000 && !currentInCut()) || currentIsMarker() ||
           adjusting_;
}

Mapping ClickView::mapping() const {
    const WaveLayout& l = doc_.store.layout;
    Mapping m;
    m.current = position_;
    m.width = width();
    m.samplesPerDiv = samplesPerDiv();
    m.first = l.toFrame(l.dataStart);
    m.last = std::max(m.first, l.toFrame(l.dataEnd - 4));
    return m;
}

int32_t ClickView::visibleStart() const {
    Mapping m = mapping();
    return static_cast<int32_t>(std::clamp<int64_t>(m.leftEdge(), m.first, m.last));
}

int32_t ClickView::visibleEnd() const {
    Mapping m = mapping();
    return static_cast<int32_t>(std::clamp<int64_t>(m.rightEdge(), m.first, m.last + 4));
}

// ---- Scales ------------------------------------------------------------------------------

bool ClickView::coarse() const {
    return currentIsMarker();
}

int ClickView::maxScaleIndex() const {
    if (coarse()) return view::kCoarseSteps;
    if (!loaded()) return view::kFineSteps;
    return view::maxFineIndex(rate_, doc_.store.layout.dataLength(), width());
}

int ClickView::samplesPerDiv() const {
    return coarse() ? view::coarseScale(rate_, coarseIndex_) : view::fineScale(rate_, fineIndex_);
}

void ClickView::limitScale() {
    fineIndex_ =
        std::clamp(fineIndex_, 1,
                   loaded() ? view::maxFineIndex(rate_, doc_.store.layout.dataLength(), width())
                            : view::kFineSteps);
    coarseIndex_ = std::clamp(coarseIndex_, 1, view::kCoarseSteps);
}

void ClickView::setScaleIndex(int index) {
    index = std::clamp(index, 1, maxScaleIndex());
    (coarse() ? coarseIndex_ : fineIndex_) = index;
    emit scaleChanged();
    emit stateChanged();
    update();
}

void ClickView::stepHorizontal(int delta) {
    setScaleIndex(scaleIndex() + delta);
}

void ClickView::setVerticalIndex(int index) {
    verticalIndex_ = std::clamp(index, 1, int(view::kVerticalScales.size()));
    emit scaleChanged();
    update();
}

void ClickView::setTraceSeparation(int pixels) {
    traceSep_ = std::clamp(pixels, 0, 400);
    update();
}

void ClickView::setCentreLevel(double level) {
    centreLevel_ = std::clamp(level, -32768.0, 32767.0);
    update();
}

void ClickView::wheelEvent(QWheelEvent* event) {
    // One notch scrolls half a division at the scale in force.
    const double notches = event->angleDelta().y() / 120.0;
    if (notches == 0) return;
    setCentreLevel(centreLevel_ + notches * 25 * verticalScale() / 1.6);
    event->accept();
}

void ClickView::setChannelsShown(bool left, bool right) {
    showLeft_ = left;
    showRight_ = right;
    playback_->setChannelGains(left ? 1.0 : 0.0, right ? 1.0 : 0.0);
    update();
}

void ClickView::setGrid(bool on) {
    grid_ = on;
    update();
}

void ClickView::setScaleShown(bool on) {
    scale_ = on;
    set(doc_.profile(), settings::kGraticule, on ? 1 : 0);
    update();
}

void ClickView::setThinTrace(bool on) {
    thin_ = on;
    set(doc_.profile(), settings::kThinTrace, on ? 1 : 0);
    update();
}

void ClickView::setBackground(int background) {
    background_ = std::clamp(background, 0, 2);
    set(doc_.profile(), settings::kBackground, background_);
    update();
}

void ClickView::setHideNormalisation(bool on) {
    hideNorm_ = on;
    update();
}

void ClickView::setSignature(bool on) {
    signature_ = on;
    update();
}

// ---- Block -------------------------------------------------------------------------------

void ClickView::setBlock(int32_t start, int32_t end) {
    const Mapping m = mapping();
    if (start > end) std::swap(start, end);
    blockStart_ = std::clamp(start, m.first, m.last);
    blockEnd_ = std::clamp(end, m.first, m.last);
    doc_.blockStart = blockStart_;
    doc_.blockEnd = blockEnd_;
    emit blockChanged();
    emit stateChanged();
    update();
}

void ClickView::clearBlock() {
    if (!hasBlock() && doc_.blockEnd == 0) return;
    blockStart_ = blockEnd_ = 0;
    doc_.blockStart = doc_.blockEnd = 0;
    emit blockChanged();
    emit stateChanged();
    update();
}

// ---- Painting ----------------------------------------------------------------------------

QColor ClickView::backgroundColour() const {
    if (adjusting_) return background_ == White ? QColor(150, 200, 200) : QColor(0, 150, 150);
    switch (background_) {
    case White:
        return QColor(255, 255, 255);
    case Grey:
        return QColor(180, 180, 180);
    default:
        return QColor(150, 150, 0);
    }
}

int ClickView::baseline(bool left) const {
    const int top = signature_ ? kSignatureHeight : 0;
    const int centre =
        top + (height() - top) / 2 + int(std::lround(centreLevel_ * 1.6 / verticalScale()));
    if (showLeft_ && showRight_) return left ? centre - traceSep_ / 2 : centre + traceSep_ / 2;
    return centre;
}

bool ClickView::editingBoundary() const {
    return adjusting_ && currentIsMarker();
}

void ClickView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    paintFrame(p);
}

void ClickView::paintFrame(QPainter& p) {
    const QColor bg = backgroundColour();
    p.fillRect(rect(), bg);
    const int w = width(), h = height();
    const Mapping m = mapping();
    const bool isLoaded = loaded();
    const CorrectionList& list = doc_.corrections;
    const bool white = background_ == White;

    // The current entry.
    edgeLeft_ = edgeRight_ = -1;
    if (isLoaded && currentIsCorrection()) {
        const Correction& c = list[doc_.currentEntry];
        const double half = view::highlightHalfWidth(c.width, m.samplesPerDiv);
        const double cx = m.xOf(c.position);
        edgeLeft_ = cx - half;
        edgeRight_ = cx + half;
        p.fillRect(QRectF(edgeLeft_, 0, edgeRight_ - edgeLeft_, h),
                   white ? QColor(255, 255, 32) : QColor(255, 255, 192));
    } else if (isLoaded && currentIsMarker()) {
        const int32_t at = editingBoundary() ? boundaryPos_ : position_;
        const double x = m.xOf(at);
        const double region = std::max(2.0, m.framesToPixels(kSectorSize / 4.0));
        p.fillRect(QRectF(x - region / 2 - 1, 0, region + 2, 4), Qt::black);
        p.fillRect(QRectF(x - 1, 0, 2, h), Qt::black);
    }

    // Grid, aligned to the centre line.
    if (grid_) {
        p.setPen(QPen(white ? QColor(200, 255, 255) : QColor(128, 128, 128), 1));
        for (int x = w / 2 % view::kDivisionPixels; x < w; x += view::kDivisionPixels)
            p.drawLine(x, 0, x, h);
        for (int y = h / 2 % view::kDivisionPixels; y < h; y += view::kDivisionPixels)
            p.drawLine(0, y, w, y);
    }

    // Scale ticks, only about a correction.
    if (scale_ && isLoaded && !currentIsMarker()) {
        p.setPen(QPen(white ? QColor(128, 128, 128) : QColor(255, 255, 255), 1));
        for (bool left : {true, false}) {
            if (!(left ? showLeft_ : showRight_)) continue;
            const int y0 = baseline(left);
            p.drawLine(0, y0, w, y0);
            int n = 0;
            for (int x = w / 2 % 50; x < w; x += 10, ++n) {
                const int len = ((x - w / 2) % 50 == 0) ? 10 : 5;
                p.drawLine(x, y0 - len / 2, x, y0 + len / 2);
            }
        }
        for (int y = h / 2 % 10; y < h; y += 10) {
            const int len = ((y - h / 2) % 50 == 0) ? 10 : 5;
            p.drawLine(w / 2 - len / 2, y, w / 2 + len / 2, y);
        }
    }

    if (isLoaded) {
        p.setFont(QFont("Tahoma", 10));
        // Cut sections.
        for (const Splice& s : doc_.splices.splices) {
            const double x0 = m.xOf(s.cutStart), x1 = m.xOf(spliceResume(s));
            if (x1 < 0 || x0 > w) continue;
            p.fillRect(QRectF(x0, 0, x1 - x0, h), QBrush(QColor(0, 0, 255), Qt::DiagCrossPattern));
        }
        // Outside the file.
        const double first = m.xOf(m.first), last = m.xOf(m.last + 4);
        if (first > 0) p.fillRect(QRectF(0, 0, first, h), QColor(128, 128, 128));
        if (last < w) p.fillRect(QRectF(last, 0, w - last, h), QColor(128, 128, 128));

        if (currentIsMarker())
            paintLevelProfile(p, m);
        else if (m.samplesPerDiv < view::kEnvelopeScale)
            paintTraces(p, m);
        else
            paintEnvelope(p, m);
        paintMarkers(p, m);
        if (signature_ && !currentIsMarker()) paintSignature(p, m);
        if (currentIsMarker()) paintBoundaryTool(p, m);
    }

    // Block and play position by inversion.
    p.setCompositionMode(QPainter::CompositionMode_Difference);
    if (drag_ == Drag::Select) {
        const int a = std::min(pressX_, dragX_), b = std::max(pressX_, dragX_);
        p.fillRect(QRect(a, 0, b - a, h), Qt::white);
    } else if (hasBlock() || drag_ == Drag::MoveBlock || drag_ == Drag::BlockStartEdge ||
               drag_ == Drag::BlockEndEdge) {
        const int32_t s = drag_ == Drag::None ? blockStart_ : dragBlockStart_;
        const int32_t e = drag_ == Drag::None ? blockEnd_ : dragBlockEnd_;
        const double a = std::max(-1.0, m.xOf(s)), b = std::min(w + 1.0, m.xOf(e));
        if (b > a) p.fillRect(QRectF(a, 0, b - a, h), Qt::white);
    }
    if (playX_ >= 0) p.fillRect(QRect(playX_, 0, 2, h), Qt::white);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
}

void ClickView::paintTraces(QPainter& p, const Mapping& m) {
    const WaveLayout& l = doc_.store.layout;
    const int64_t from = std::max<int64_t>(m.leftEdge(), m.first);
    const int64_t to = std::min<int64_t>(m.rightEdge() + 4, m.last + 4);
    if (to <= from) return;
    const size_t frames = static_cast<size_t>((to - from) / 4);
    std::vector<int16_t> original(frames * 2), corrected(frames * 2);
    doc_.store.readSource(from, original.data(), frames * 4);
    doc_.store.readWorking(from, corrected.data(), frames * 4);
    if (hideNorm_) doc_.store.applyGains(original.data(), original.size());
    (void)l;

    const int n = view::columnStep(m.samplesPerDiv);
    const double x0 = m.xOf(from);
    const int vs = verticalScale();
    auto trace = [&](const std::vector<int16_t>& s, int channel, const QPen& pen) {
        const int y0 = baseline(channel == 0);
        p.setPen(pen);
        if (n == 1) {
            QPolygonF line;
            line.reserve(int(frames));
            for (size_t i = 0; i < frames; ++i)
                line << QPointF(x0 + m.framesToPixels(double(i)),
                                view::sampleY(y0, s[i * 2 + size_t(channel)], vs));
            p.drawPolyline(line);
            return;
        }
        std::vector<QLineF> lines;
        lines.reserve(frames / size_t(n) + 1);
        double prevY = -1e9;
        for (size_t i = 0; i < frames; i += size_t(n)) {
            int lo = 32767, hi = -32768;
            for (size_t k = i; k < std::min(frames, i + size_t(n)); ++k) {
                int v = s[k * 2 + size_t(channel)];
                lo = std::min(lo, v);
                hi = std::max(hi, v);
            }
            const double x = x0 + m.framesToPixels(double(i));
            double yHi = view::sampleY(y0, hi, vs), yLo = view::sampleY(y0, lo, vs);
            // Join the columns so that a quiet stretch still reads as a line.
            if (prevY > -1e8) {
                yHi = std::min(yHi, prevY);
                yLo = std::max(yLo, prevY);
            }
            lines.emplace_back(x, yHi, x, yLo + 0.5);
            prevY = (yHi + yLo) / 2;
        }
        p.drawLines(lines.data(), int(lines.size()));
    };
    QPen blue(QColor(0, 0, 255), 1, thin_ ? Qt::DotLine : Qt::SolidLine);
    const int wide = thin_ ? 1 : 2;
    if (showLeft_) trace(original, 0, blue);
    if (showRight_) trace(original, 1, blue);
    if (showLeft_) trace(corrected, 0, QPen(QColor(0, 255, 0), wide));
    if (showRight_) trace(corrected, 1, QPen(QColor(255, 0, 0), wide));
}

void ClickView::paintEnvelope(QPainter& p, const Mapping& m) {
    const auto& env = doc_.overview.chunkEnvelope;
    if (env.empty()) return;
    const int w = width();
    const double k = 1.6 / verticalScale();
    for (int channel = 0; channel < 2; ++channel) {
        if (!(channel == 0 ? showLeft_ : showRight_)) continue;
        const double gain = channel == 0 ? doc_.store.leftGain : doc_.store.rightGain;
        const int y0 = baseline(channel == 0);
        std::vector<QLineF> lines;
        lines.reserve(size_t(w));
        for (int x = 0; x < w; ++x) {
            const int64_t a = std::max<int64_t>(m.rawPositionAt(x), m.first);
            const int64_t b = std::min<int64_t>(m.rawPositionAt(x + 1), m.last);
            if (b < a) continue;
            size_t c0 = size_t(a / kChunkSize),
                   c1 = std::min(env.size() - 1, size_t(b / kChunkSize));
            int lo = 127, hi = -128;
            for (size_t c = c0; c <= c1; ++c) {
                lo = std::min<int>(lo, env[c][size_t(channel * 2)]);
                hi = std::max<int>(hi, env[c][size_t(channel * 2 + 1)]);
            }
            if (hi < lo) continue;
            lines.emplace_back(x, y0 - hi * 256 * gain * k, x, y0 - lo * 256 * gain * k + 1);
        }
        p.setPen(QPen(channel == 0 ? QColor(0, 192, 0) : QColor(192, 0, 0), 1));
        p.drawLines(lines.data(), int(lines.size()));
    }
}

void ClickView::paintLevelProfile(QPainter& p, const Mapping& m) {
    const auto& levels = doc_.overview.chunkLevels;
    if (levels.empty()) return;
    const bool white = background_ == White;
    const TrackList& tracks = doc_.tracks;
    const int y0 = baseline(false);
    const int w = width();
    const int step = 2;
    for (int x = 0; x < w; x += step) {
        const int64_t a = m.rawPositionAt(x);
        if (a < m.first || a > m.last) continue;
        const size_t chunk = std::min(levels.size() - 1, size_t(a / kChunkSize));
        const double lv = std::max(levels[chunk], 1);
        const int bar = std::max(1, int(std::max(0.0, 40 * std::log10(lv) - 200)));
        const int32_t d = doc_.splices.sourceToDisplay(int32_t(a));
        int track = 0;
        for (int t = 1; t <= tracks.trackCount(); ++t)
            if (d >= tracks[t].start && d < tracks[t].end) track = t;
        QColor c(128, 128, 128);
        if (track > 0) {
            if (track % 2)
                c = white ? QColor(200, 100, 100) : QColor(255, 160, 160);
            else
                c = white ? QColor(100, 100, 200) : QColor(160, 160, 255);
        }
        p.fillRect(QRect(x, std::max(1, y0 - bar), step, std::min(bar, y0 - 1)), c);
    }
    // Label the tracks on either side of the boundary.
    const Correction& marker = doc_.corrections[doc_.currentEntry];
    const int t = markerTrack(marker);
    p.setPen(white ? QColor(0, 0, 255) : QColor(255, 255, 255));
    auto label = [&](int track) {
        const Track& tr = tracks[track];
        if (!tr.title.empty() && tr.title.rfind("???", 0) != 0)
            return QString("Tr.%1:%2 ").arg(track).arg(QString::fromStdString(tr.title));
        return QString("Track %1").arg(track);
    };
    const double bx = m.xOf(position_);
    const int before = isStartMarker(marker) ? t - 1 : t;
    const int after = isStartMarker(marker) ? t : t + 1;
    QFontMetrics fm(p.font());
    if (before >= 1 && before <= tracks.trackCount()) {
        QString s = label(before);
        p.drawText(QPointF(bx - 10 - fm.horizontalAdvance(s), 40), s);
    }
    if (after >= 1 && after <= tracks.trackCount()) p.drawText(QPointF(bx + 10, 40), label(after));
}

void ClickView::paintMarkers(QPainter& p, const Mapping& m) {
    const CorrectionList& list = doc_.corrections;
    if (list.count() <= 2) return;
    const int64_t left = m.leftEdge() - 4 * m.samplesPerDiv,
                  right = m.rightEdge() + 4 * m.samplesPerDiv;
    int i = list.find(int32_t(std::max<int64_t>(left, 0)));
    for (; i >= 1 && i <= list.count() - 2 && list[i].position <= right; ++i) {
        const Correction& c = list[i];
        const bool boundary = isTrackMarker(c);
        if (!boundary && c.magnitude != magnitude_codes::kCue) continue;
        double x = m.xOf(c.position);
        if (boundary && i == doc_.currentEntry && editingBoundary()) x = m.xOf(boundaryPos_);
        for (bool leftChannel : {true, false}) {
            if (!(leftChannel ? showLeft_ : showRight_)) continue;
            const int y0 = baseline(leftChannel);
            if (boundary) {
                // A bracket opening toward the inside of its track.
                const double serif = isStartMarker(c) ? 5 : -5;
                p.setPen(QPen(Qt::black, 2));
                p.drawLine(QPointF(x, y0 - 30), QPointF(x, y0 + 30));
                p.drawLine(QPointF(x, y0 - 30), QPointF(x + serif, y0 - 30));
                p.drawLine(QPointF(x, y0 + 30), QPointF(x + serif, y0 + 30));
                p.drawLine(QPointF(x, y0 - 25), QPointF(x, y0 + 25));
            } else {
                p.setPen(QPen(QColor(0, 255, 255), 2));
                p.drawLine(QPointF(x, y0 - 10), QPointF(x, y0 + 10));
                p.drawLine(QPointF(x - 4, y0 - 10), QPointF(x + 4, y0 - 10));
                p.drawLine(QPointF(x - 4, y0 + 10), QPointF(x + 4, y0 + 10));
            }
        }
    }
}

void ClickView::paintSignature(QPainter& p, const Mapping& m) {
    const CorrectionList& list = doc_.corrections;
    const int w = width();
    int x = w / 2 % view::kDivisionPixels - 55;
    while (x + 10 < m.xOf(m.first)) x += 10;
    std::vector<int> counts;
    const int firstX = x;
    for (; x < w + 10; x += 10) {
        const int64_t a = m.rawPositionAt(x), b = m.rawPositionAt(x + 10);
        int n = 0;
        for (int i = list.find(int32_t(std::max<int64_t>(a, 0)));
             i >= 1 && i <= list.count() - 2 && list[i].position < b; ++i)
            if (list[i].width >= 0 && list[i].magnitude >= 0) ++n;
        counts.push_back(n);
    }
    const int largest = counts.empty() ? 0 : *std::max_element(counts.begin(), counts.end());
    p.fillRect(QRect(0, 0, w, kSignatureHeight), QColor(32, 32, 32));
    for (size_t i = 0; i < counts.size(); ++i) {
        int c = largest > 15 ? counts[i] * 15 / largest : counts[i];
        if (c == 0) continue;
        p.fillRect(QRect(firstX + int(i) * 10 + 1, kSignatureHeight - 2 - c, 8, c),
                   QColor(255, 64, 64));
    }
}

void ClickView::resizeEvent(QResizeEvent*) {
    limitScale();
    emit scaleChanged();
}

// ---- Boundary tool -----------------------------------------------------------------------

void ClickView::readToolLengths() {
    handlesMoved_ = false;
    fadeLength_ = silenceLength_ = 0;
    if (!currentIsMarker()) return;
    const Correction& c = doc_.corrections[doc_.currentEntry];
    const int t = markerTrack(c);
    if (t < 1 || t > doc_.tracks.trackCount()) return;
    const Track& track = doc_.tracks[t];
    fadeLength_ = isStartMarker(c) ? track.fadeIn : track.fadeOut;
    silenceLength_ = isStartMarker(c) ? track.preSilence : track.postSilence;
}

int32_t ClickView::fadeHandle() const {
    const bool start = currentIsMarker() && isStartMarker(doc_.corrections[doc_.currentEntry]);
    return start ? boundaryPos_ + fadeLength_ : boundaryPos_ - fadeLength_;
}

int32_t ClickView::silenceHandle() const {
    const bool start = currentIsMarker() && isStartMarker(doc_.corrections[doc_.currentEntry]);
    return start ? boundaryPos_ - silenceLength_ : boundaryPos_ + silenceLength_;
}

double ClickView::toolHandleX(bool fade) const {
    return mapping().xOf(fade ? fadeHandle() : silenceHandle());
}

QPoint ClickView::toolHandlePoint(bool fade) const {
    // Beside the boundary when the length is nil, so that the handle can still be taken.
    const double bx = mapping().xOf(boundaryPos_);
    double x = toolHandleX(fade);
    const bool start = isStartMarker(doc_.corrections[doc_.currentEntry]);
    const double outward = (fade == start) ? 1 : -1;
    if (std::abs(x - bx) < 6) x = bx + 6 * outward;
    return QPoint(int(std::lround(x)), fade ? 5 : 15);
}

int ClickView::toolHandleAt(QPoint at) const {
    if (!currentIsMarker() || at.y() > kSignatureHeight) return 0;
    if ((at - toolHandlePoint(true)).manhattanLength() <= 6) return 1;
    if ((at - toolHandlePoint(false)).manhattanLength() <= 6) return 2;
    return 0;
}

void ClickView::paintBoundaryTool(QPainter& p, const Mapping& m) {
    p.fillRect(QRect(0, 0, width(), kSignatureHeight), QColor(32, 32, 32));
    const double bx = m.xOf(boundaryPos_);
    const QPoint fade = toolHandlePoint(true), silence = toolHandlePoint(false);
    // The fade as a ramp from the boundary to its handle, the silence as a bar.
    p.setPen(QPen(QColor(255, 255, 0), 2));
    p.drawLine(QPointF(bx, 2), QPointF(fade.x(), 9));
    p.fillRect(QRect(fade.x() - 4, 1, 8, 8), QColor(255, 255, 0));
    p.setPen(QPen(QColor(255, 255, 255), 2));
    p.drawLine(QPointF(bx, 15), QPointF(silence.x(), 15));
    p.fillRect(QRect(silence.x() - 4, 11, 8, 8), QColor(255, 255, 255));
}

// ---- Mouse -------------------------------------------------------------------------------

int32_t ClickView::selectionPosition(int x) const {
    return mapping().positionAt(x);
}

bool ClickView::onCorrectionEdge(int x) const {
    if (edgeLeft_ < 0 && edgeRight_ < 0) return false;
    return std::abs(x - edgeLeft_) <= 3 || std::abs(x - edgeRight_) <= 3;
}

bool ClickView::onBoundaryHandle(int x) const {
    if (!currentIsMarker()) return false;
    const int32_t at = editingBoundary() ? boundaryPos_ : position_;
    return std::abs(x - mapping().xOf(at)) <= 4;
}

int ClickView::blockEdgeAt(int x) const {
    if (!hasBlock()) return 0;
    const Mapping m = mapping();
    if (std::abs(x - m.xOf(blockStart_)) <= 4) return 1;
    if (std::abs(x - m.xOf(blockEnd_)) <= 4) return 2;
    return 0;
}

void ClickView::mouseMoveEvent(QMouseEvent* event) {
    const int x = int(event->position().x());
    if (loaded()) emit cursorPosition(selectionPosition(x));
    const Mapping m = mapping();
    if (drag_ == Drag::None) {
        Qt::CursorShape shape = Qt::ArrowCursor;
        if (blockEdgeAt(x) || (handlesActive() && (onCorrectionEdge(x) || onBoundaryHandle(x))))
            shape = Qt::SizeHorCursor;
        else if (hasBlock() && x > m.xOf(blockStart_) + 4 && x < m.xOf(blockEnd_) - 4)
            shape = Qt::SizeAllCursor;
        setCursor(shape);
        return;
    }
    dragX_ = std::clamp(x, int(std::max(0.0, m.xOf(m.first))),
                        int(std::min<double>(width(), m.xOf(m.last + 4))));
    switch (drag_) {
    case Drag::CorrectionEdge: {
        const Correction& c = doc_.corrections[doc_.currentEntry];
        const double frames = (x - m.xOf(c.position)) * m.samplesPerDiv / 50.0;
        const int32_t flags = c.width & ~width_flags::kBytesMask;
        editCurrent(view::draggedWidth(frames) | flags, -1);
        break;
    }
    case Drag::Boundary:
        boundaryPos_ = m.positionAt(x);
        break;
    case Drag::FadeHandle:
    case Drag::SilenceHandle: {
        const Correction& c = doc_.corrections[doc_.currentEntry];
        // Inside the track for the fade, outside it for the silence; never across the boundary.
        const bool inward = (drag_ == Drag::FadeHandle) == isStartMarker(c);
        const int32_t d = m.positionAt(x) - boundaryPos_;
        const int32_t length = std::max(0, inward ? d : -d) / 4 * 4;
        (drag_ == Drag::FadeHandle ? fadeLength_ : silenceLength_) = length;
        handlesMoved_ = true;
        break;
    }
    case Drag::MoveBlock: {
        const int32_t shift = m.positionAt(x) - m.positionAt(pressX_);
        const int32_t len = blockEnd_ - blockStart_;
        dragBlockStart_ = std::clamp(blockStart_ + shift, m.first, m.last - len);
        dragBlockEnd_ = dragBlockStart_ + len;
        break;
    }
    case Drag::BlockStartEdge:
        dragBlockStart_ = m.positionAt(x);
        break;
    case Drag::BlockEndEdge:
        dragBlockEnd_ = m.positionAt(x);
        break;
    default:
        break;
    }
    update();
}

void ClickView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !loaded()) return;
    const int x = int(event->position().x());
    const Mapping m = mapping();
    if (playing()) {
        playback_->seek(m.positionAt(x));
        return;
    }
    if (adjusting_ && (event->modifiers() & Qt::ShiftModifier) && currentIsCorrection()) {
        editCurrent(-1, m.positionAt(x));
        return;
    }
    if (handlesActive() && onCorrectionEdge(x) && currentIsCorrection() && canEditCorrection()) {
        if (!adjusting_) enterAdjust(false, false);
        if (!adjusting_) return;
        drag_ = Drag::CorrectionEdge;
        grabMouse();
        return;
    }
    if (currentIsMarker() && toolHandleAt(event->position().toPoint())) {
        const int handle = toolHandleAt(event->position().toPoint());
        if (!adjusting_) enterAdjust(false, false);
        if (!adjusting_) return;
        drag_ = handle == 1 ? Drag::FadeHandle : Drag::SilenceHandle;
        grabMouse();
        return;
    }
    if (handlesActive() && onBoundaryHandle(x)) {
        if (!adjusting_) enterAdjust(false, false);
        if (!adjusting_) return;
        drag_ = Drag::Boundary;
        grabMouse();
        return;
    }
    if (adjusting_ || currentIsMarker()) return;
    const double first = std::max(0.0, m.xOf(m.first)),
                 last = std::min<double>(width(), m.xOf(m.last + 4));
    if (x < first || x > last) return;
    pressX_ = dragX_ = x;
    dragBlockStart_ = blockStart_;
    dragBlockEnd_ = blockEnd_;
    if (hasBlock()) {
        const double a = m.xOf(blockStart_), b = m.xOf(blockEnd_);
        if (int edge = blockEdgeAt(x)) {
            drag_ = edge == 1 ? Drag::BlockStartEdge : Drag::BlockEndEdge;
            return;
        }
        if (x > a + 10 && x < b - 10) {
            drag_ = Drag::MoveBlock;
            return;
        }
        if ((x < a - 4 || x > b + 4) && (event->modifiers() & Qt::ControlModifier)) return;
    }
    drag_ = Drag::Select;
}

void ClickView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || drag_ == Drag::None) return;
    const Drag was = drag_;
    drag_ = Drag::None;
    releaseMouse();
    const Mapping m = mapping();
    switch (was) {
    case Drag::Boundary:
        boundaryPos_ = sectorFloor(doc_.store.layout, m.positionAt(int(event->position().x())));
        break;
    case Drag::Select:
        if (std::abs(dragX_ - pressX_) > 2)
            setBlock(m.positionAt(std::min(pressX_, dragX_)),
                     m.positionAt(std::max(pressX_, dragX_)));
        else
            clearBlock();
        break;
    case Drag::MoveBlock:
    case Drag::BlockStartEdge:
    case Drag::BlockEndEdge:
        setBlock(dragBlockStart_, dragBlockEnd_);
        break;
    default:
        break;
    }
    emit stateChanged();
    update();
}

void ClickView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) doubleClickAt(int(event->position().x()));
}

void ClickView::doubleClickAt(int x) {
    if (adjusting_ || !loaded()) return;
    drag_ = Drag::None;
    const Mapping m = mapping();
    const int64_t raw = m.rawPositionAt(x - 6);
    const int32_t t = m.samplesPerDiv * 4 / 4; // one sample-per-division count of bytes
    if (int e = view::doubleClickEntry(doc_.corrections,
                                       int32_t(std::clamp<int64_t>(raw, 0, INT32_MAX)), t,
                                       doc_.tracks.gapless)) {
        selectEntry(e);
        return;
    }
    if (raw >= m.first && raw <= m.last)
        setPosition(int32_t(raw));
    else
        doc_.ui().beep();
}

void ClickView::contextMenuEvent(QContextMenuEvent* event) {
    if (!loaded()) return;
    QPoint at = event->reason() == QContextMenuEvent::Mouse ? event->globalPos()
                                                            : mapToGlobal(QPoint(5, 5));
    emit contextMenuWanted(at, hasBlock());
}

void ClickView::leaveEvent(QEvent*) {
    emit cursorPosition(-1);
}

// ---- Keys --------------------------------------------------------------------------------

void ClickView::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    const bool shift = event->modifiers() & Qt::ShiftModifier;
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    if (key == Qt::Key_PageUp || key == Qt::Key_PageDown) {
        if (playing())
            jumpPlayback(key == Qt::Key_PageDown);
        else if (key == Qt::Key_PageDown && canEditCorrection() && currentIsCorrection() &&
                 samplesPerDiv() < 200)
            shrink();
        return;
    }
    const bool arrow =
        key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down;
    if (!arrow) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (!loaded() || doc_.currentEntry <= 0 || hasBlock() || (adjusting_ && currentIsMarker()))
        return;
    const Mapping m = mapping();
    const int32_t division = m.samplesPerDiv * 4;
    const int32_t half = int32_t(width() / 2 / view::kDivisionPixels) * division;
    if (adjusting_) {
        switch (key) {
        case Qt::Key_Left:
        case Qt::Key_Right: {
            int32_t step = ctrl ? half / 4 : shift ? division / 4 : 1;
            moveCorrection(key == Qt::Key_Left ? -step : step);
            break;
        }
        case Qt::Key_Up:
            widenCorrection(4);
            break;
        case Qt::Key_Down:
            widenCorrection(-4);
            break;
        }
        return;
    }
    switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Right: {
        const int32_t step = shift ? half : division;
        setPosition(position_ + (key == Qt::Key_Left ? -step : step));
        break;
    }
    case Qt::Key_Up:
    case Qt::Key_Down:
        if (shift) {
            const int next = doc_.currentEntry + (key == Qt::Key_Up ? -1 : 1);
            if (next >= 1 && next <= doc_.corrections.count() - 2) selectEntry(next);
        } else {
            emit stepListRequested(key == Qt::Key_Up ? -1 : 1);
        }
        break;
    }
}

void ClickView::jumpPlayback(bool forward) {
    const int rate = rate_;
    const int64_t jump = int64_t{240} * rate;
    const int t = doc_.tracks.holding(doc_.splices.sourceToDisplay(playback_->playPosition()));
    int64_t start = doc_.store.layout.dataStart, end = doc_.store.layout.dataEnd;
    if (t > 0) {
        start = doc_.splices.displayToSource(doc_.tracks[t].start);
        end = doc_.splices.displayToSource(doc_.tracks[t].end);
    }
    int64_t target = playback_->playPosition() + (forward ? jump : -jump);
    if (target > end) target = start + (target - end);
    if (target < start) target = end - (start - target);
    if (target < start || target >= end) target = start;
    playback_->seek(doc_.store.layout.toFrame(int32_t(target)));
}

// ---- Adjust mode -------------------------------------------------------------------------

void ClickView::adjustInsert() {
    if (!canEditCorrection() || adjusting_) {
        doc_.ui().beep();
        return;
    }
    const CorrectionList& list = doc_.corrections;
    const int i = doc_.currentEntry;
    const bool onEntry = i > 0 && i < list.count() - 1 && list[i].position == position_ &&
                         list[i].magnitude != magnitude_codes::kCue &&
                         list[i].magnitude != magnitude_codes::kSplice;
    bool inserted = false;
    if (!onEntry) {
        if (!coarse() && samplesPerDiv() >= 1000) {
            if (doc_.ui().ask(kExpandQuestion, "Tarnival", Buttons::YesNo) != Answer::Yes) return;
            fineIndex_ = view::kAdjustFineIndex;
            emit scaleChanged();
        }
        const int index = doc_.editor().InsertUserCorrection(position_, doc_.ui());
        if (index == CorrectionEditor::kNone) return;
        doc_.modified = true;
        selectEntry(index);
        inserted = true;
    }
    enterAdjust(false, inserted);
}

void ClickView::enterAdjust(bool afterShrink, bool inserted) {
    if (!coarse() && samplesPerDiv() >= 1000) {
        if (doc_.ui().ask(kExpandQuestion, "Tarnival", Buttons::YesNo) != Answer::Yes) return;
        fineIndex_ = view::kAdjustFineIndex;
        emit scaleChanged();
    }
    const int i = doc_.currentEntry;
    if (i <= 0 || i >= doc_.corrections.count() - 1) return;
    Correction& c = doc_.corrections[i];
    saved_ = c;
    adjusting_ = true;
    adjustInserted_ = inserted || c.magnitude == magnitude_codes::kInsertedCurrent;
    boundaryPos_ = c.position;
    readToolLengths();
    QString caption = afterShrink       ? "Shrink Correction"
                      : adjustInserted_ ? "Insert Correction"
                                        : "User Adjust Mode";
    QString text = isTrackMarker(c) ? "Use the Mouse to adjust\nTrack Boundary Position"
                   : afterShrink ? "Use the Mouse and/or Cursor Keys\nto make further adjustments"
                                 : "Use the Mouse and/or Cursor Keys\nto adjust Width or Position";
    adjust_->showFor(caption, text);
    setFocus();
    if (!isTrackMarker(c) && adjustInserted_ && (c.width & width_flags::kBytesMask) <= 1) {
        if (doc_.scan.corWidth == ids::kNormalWidth)
            editCurrent((c.width & ~width_flags::kBytesMask) | 100, -1);
        widenCorrection(4);
    }
    emit stateChanged();
    update();
}

void ClickView::shrink() {
    if (!canEditCorrection() || !currentIsCorrection() || samplesPerDiv() >= 200) {
        doc_.ui().beep();
        return;
    }
    if (!adjusting_) enterAdjust(true, false);
    if (!adjusting_) return;
    const Correction& c = doc_.corrections[doc_.currentEntry];
    const int32_t bytes = (c.width & width_flags::kBytesMask) / 12 * 4;
    editCurrent((c.width & ~width_flags::kBytesMask) | bytes, -1);
}

void ClickView::editCurrent(int32_t width, int32_t position) {
    CorrectionList& list = doc_.corrections;
    int i = doc_.currentEntry;
    if (i <= 0 || i >= list.count() - 1 || list[i].width < 0) return;
    CorrectionEditor& ed = doc_.editor();
    const int32_t oldPosition = list[i].position;
    ed.RestoreCluster(i, false);
    ed.SetEntry(i, width < 0 ? list[i].width : width, position, true);
    // A move past a neighbour keeps the list in position order.
    Correction moved = list[i];
    const bool outOfOrder = (i > 1 && list[i - 1].position > moved.position) ||
                            (i < list.count() - 2 && list[i + 1].position < moved.position);
    if (outOfOrder) {
        doc_.observer().entryRemoved(i);
        list.removeAt(i);
        list.lowerBlockCounter(oldPosition);
        i = list.insertOrdered(moved);
        list.raiseBlockCounter(moved.position);
        doc_.currentEntry = i;
        doc_.observer().entryAdded(i);
    } else if (moved.position != oldPosition) {
        list.lowerBlockCounter(oldPosition);
        list.raiseBlockCounter(moved.position);
    }
    ed.RestoreCluster(i, true);
    doc_.modified = true;
    position_ = list[i].position;
    if (moved.position != oldPosition) doc_.observer().entrySelected(i);
    emit cursorPosition(position_);
    update();
}

void ClickView::moveCorrection(int32_t frames) {
    if (!currentIsCorrection()) return;
    editCurrent(-1, doc_.corrections[doc_.currentEntry].position + frames * 4);
}

void ClickView::widenCorrection(int32_t bytes) {
    if (!currentIsCorrection()) return;
    const Correction& c = doc_.corrections[doc_.currentEntry];
    const int32_t w = std::clamp((c.width & width_flags::kBytesMask) + bytes, 0, 300);
    editCurrent((c.width & ~width_flags::kBytesMask) | w, -1);
}

void ClickView::applyAdjust() {
    if (!adjusting_) return;
    adjusting_ = false;
    adjust_->hide();
    const int i = doc_.currentEntry;
    CorrectionList& list = doc_.corrections;
    if (i > 0 && i < list.count() - 1) {
        if (isTrackMarker(list[i])) {
            if (boundaryPos_ != list[i].position || handlesMoved_) {
                TrackContext ctx = doc_.trackContext();
                ctx.cues = &cues_;
                if (MoveBoundary(ctx, i, boundaryPos_, fadeHandle(), silenceHandle()) < 0)
                    boundaryPos_ = list[i].position;
            }
        } else if (list[i].width != saved_.width || list[i].position != saved_.position ||
                   list[i].magnitude == magnitude_codes::kInsertedCurrent) {
            // An applied user correction rewrites the audio like any edited one from now on.
            list[i].magnitude = magnitude_codes::kEdited;
            doc_.modified = true;
            doc_.observer().entrySelected(i);
        }
    }
    emit stateChanged();
    update();
}

void ClickView::abortAdjust() {
    if (!adjusting_) return;
    const int i = doc_.currentEntry;
    CorrectionList& list = doc_.corrections;
    if (i > 0 && i < list.count() - 1 && !isTrackMarker(list[i])) {
        if (adjustInserted_) {
            // A correction inserted and abandoned leaves nothing behind.
            const int next = doc_.editor().Remove(i, i, true);
            (void)next;
            doc_.currentEntry = 0;
            adjusting_ = false;
            adjust_->hide();
            selectEntry(view::nearestEntry(list, position_));
            emit stateChanged();
            update();
            return;
        }
        editCurrent(saved_.width, saved_.position);
        list[doc_.currentEntry].magnitude = saved_.magnitude;
    }
    adjusting_ = false;
    adjust_->hide();
    boundaryPos_ = position_;
    readToolLengths();
    selectEntry(doc_.currentEntry);
    emit stateChanged();
    update();
}

// ---- Commands ----------------------------------------------------------------------------

void ClickView::removeCurrent() {
    CorrectionList& list = doc_.corrections;
    const int i = doc_.currentEntry;
    if (i <= 0 || i >= list.count() - 1 || isTrackMarker(list[i]) ||
        list[i].magnitude == magnitude_codes::kSplice) {
        doc_.ui().beep();
        return;
    }
    const bool cue = list[i].magnitude == magnitude_codes::kCue;
    const Answer a =
        cue ? doc_.ui().ask("The Cue Marker will be removed.\nReally Remove?", "Remove Cue Marker",
                            Buttons::OkCancel)
            : doc_.ui().ask("The Current correction will be permanently removed and \nthe "
                            "original waveform restored.\nReally Remove?",
                            "Remove Correction", Buttons::OkCancel);
    if (a != Answer::Ok) return;
    const int32_t at = position_;
    if (cue) {
        std::erase(cues_, list[i].position);
        list.lowerBlockCounter(list[i].position);
        doc_.observer().entryRemoved(i);
        list.removeAt(i);
        doc_.editor().invalidate();
    } else {
        doc_.editor().Remove(i, i);
    }
    doc_.modified = true;
    doc_.currentEntry = 0;
    const int near = view::nearestEntry(list, at);
    if (near) selectEntry(near);
    position_ = at;
    doc_.observer().redraw();
    emit stateChanged();
    update();
}

void ClickView::toggleChannel(bool left) {
    if (!currentIsCorrection() || !canEditCorrection()) {
        doc_.ui().beep();
        return;
    }
    doc_.editor().ToggleChannel(doc_.currentEntry, left);
    doc_.modified = true;
    doc_.observer().entrySelected(doc_.currentEntry);
    update();
}

void ClickView::insertCue() {
    if (!loaded()) return;
    const WaveLayout& l = doc_.store.layout;
    const int r = playback_->playbackRate();
    int32_t at = playing() ? playback_->playPosition() - r : position_;
    if (lastCueRequest_ >= 0 && std::abs(at - lastCueRequest_) < r / 4) return;
    lastCueRequest_ = at;
    at = l.toFrame(std::clamp(at, l.dataStart + 4, l.dataEnd - 8));
    CorrectionList& list = doc_.corrections;
    const int here = list.find(at);
    if (!(here == doc_.currentEntry && list[here].position == at &&
          list[here].magnitude == magnitude_codes::kInsertedCurrent))
        at -= 4;
    cues_.push_back(at);
    const Correction cue{1, 0, at, 1, magnitude_codes::kCue};
    const int index = list.insertOrdered(cue);
    if (index < 1) {
        cues_.pop_back();
        return;
    }
    list.raiseBlockCounter(at);
    doc_.editor().invalidate();
    doc_.modified = true;
    doc_.observer().entryAdded(index);
    selectEntry(index);
}

void ClickView::find(bool forward) {
    if (!loaded()) return;
    if (findCriterion_ == view::kFindByTime) {
        if (adjusting_) return;
        const int ms = get(doc_.profile(), settings::kFindTime);
        // Whole frames, so that a jump back returns exactly where a jump forward began.
        const int32_t step = int32_t(int64_t{ms} * rate_ / 250) / 4 * 4;
        setPosition(position_ + (forward ? step : -step));
        return;
    }
    int from = doc_.currentEntry;
    const CorrectionList& list = doc_.corrections;
    if (from <= 0 || list[from].position != position_) {
        from = list.find(position_);
        if (!forward) {
            // Before the entry at or after the position.
        } else if (from <= list.count() - 2 && list[from].position == position_) {
        } else {
            --from;
        }
    }
    const int e = view::findEntry(list, from, findCriterion_, forward);
    if (e)
        selectEntry(e);
    else
        doc_.ui().beep();
}

void ClickView::trackMarker(bool forward) {
    if (!loaded()) return;
    const CorrectionList& list = doc_.corrections;
    int from = doc_.currentEntry > 0 ? doc_.currentEntry : view::nearestEntry(list, position_);
    const int e = view::nextTrackMarker(list, from, forward, doc_.tracks.gapless);
    if (e)
        selectEntry(e);
    else
        doc_.ui().beep();
}

void ClickView::splitTrack() {
    if (!loaded() || playing()) return;
    TrackContext ctx = doc_.trackContext();
    ctx.cues = &cues_;
    const int e = SplitTrack(ctx, position_);
    if (e > 0) selectEntry(e);
    doc_.observer().redraw();
}

// ---- Playback ----------------------------------------------------------------------------

std::optional<BoundaryAudition> ClickView::boundaryAudition() const {
    if (!currentIsMarker()) return std::nullopt;
    const Correction& c = doc_.corrections[doc_.currentEntry];
    BoundaryAudition b;
    b.track = markerTrack(c);
    b.trackEnd = !isStartMarker(c);
    const Track& t = doc_.tracks[b.track];
    b.boundary = b.trackEnd ? t.end : t.start;
    b.fadeHandle = b.trackEnd ? t.end - t.fadeOut : t.start + t.fadeIn;
    return b;
}

void ClickView::playTrack(bool corrected) {
    if (!loaded()) return;
    playback_->setOutputDevice(get(doc_.profile(), settings::kOutputDevice));
    if (playing()) {
        playback_->togglePause();
        return;
    }
    const int track = doc_.tracks.trackCount() > 0
                          ? doc_.tracks.holding(doc_.splices.sourceToDisplay(position_))
                          : 0;
    playback_->playTrack(track, corrected, PlayBlock{blockStart_, blockEnd_});
}

void ClickView::playBlock(bool corrected) {
    if (!hasBlock()) return;
    playback_->setOutputDevice(get(doc_.profile(), settings::kOutputDevice));
    playback_->playBlock(corrected, PlayBlock{blockStart_, blockEnd_});
}

void ClickView::audition(bool corrected) {
    if (!loaded()) return;
    playback_->setOutputDevice(get(doc_.profile(), settings::kOutputDevice));
    playback_->audition(corrected, visibleStart(), visibleEnd(), position_,
                        PlayBlock{blockStart_, blockEnd_}, boundaryAudition());
}

void ClickView::auditionBoundary() {
    auto b = boundaryAudition();
    if (!b) {
        doc_.ui().beep();
        return;
    }
    playback_->setOutputDevice(get(doc_.profile(), settings::kOutputDevice));
    playback_->auditionBoundary(visibleStart(), visibleEnd(), position_, *b);
}

void ClickView::pause() {
    playback_->togglePause();
}

void ClickView::skipBack() {
    if (!playback_->skipBack() && adjusting_) applyAdjust();
}

void ClickView::cancelPlayback() {
    if (!playback_->cancel() && adjusting_) abortAdjust();
}

void ClickView::setSpeed(int sliderPosition) {
    playback_->setSpeed(sliderPosition);
}

void ClickView::playbackStarted() {
    emit playbackShown(true);
    emit stateChanged();
}

void ClickView::playPositionChanged(int32_t sourcePosition) {
    // The device opened before the play began: the commands change with the first position.
    if (!playAnnounced_ && playing()) {
        playAnnounced_ = true;
        emit playbackShown(true);
        emit stateChanged();
    }
    const int x = int(std::lround(mapping().xOf(sourcePosition)));
    if (x != playX_) {
        const int old = playX_;
        playX_ = x;
        if (old >= 0) update(QRect(old, 0, 2, height()));
        update(QRect(x, 0, 2, height()));
    }
    emit playPositionMoved(sourcePosition);
}

void ClickView::toggleChanged() {
    emit sourceToggled();
}

void ClickView::pauseChanged(bool) {
    emit stateChanged();
}

void ClickView::playbackEnded() {
    playAnnounced_ = false;
    playX_ = -1;
    update();
    emit playPositionMoved(-1);
    emit playbackShown(false);
    emit cursorPosition(position_);
    emit stateChanged();
}

} // namespace tarnival
