#pragma once
#include <QWidget>

#include <cstdint>

namespace tarnival {

class CMorvath3Doc;
class ClickView;

// The strip below the waveform view: the level profile of the current track (or of the whole
// recording), the entries as ticks, the block, the stretch the waveform view shows and the play
// position; or, with the spectrum on, the spectrum of 512 frames about the current entry.
class OverviewView : public QWidget {
    Q_OBJECT
  public:
    OverviewView(CMorvath3Doc& doc, ClickView& wave, QWidget* parent = nullptr);

    bool spectrum() const { return spectrum_; }
    void setSpectrum(bool on);
    bool signature() const { return signature_; }
    void setSignature(bool on);
    bool allTracks() const { return allTracks_; }
    void setAllTracks(bool on);
    bool spectrumCorrected() const { return corrected_; }
    void setPlayPosition(int64_t position);
    // The shown stretch in source positions, and the mapping onto pixels.
    int32_t rangeStart() const;
    int32_t rangeEnd() const;
    double bytesPerPixel() const;
    double xOf(int64_t position) const;
    int32_t positionAt(int x) const;
    QRect labelRect() const { return label_; }
    int shownTrack() const;

  signals:
    void cursorPosition(qint64 position);
    void trackMenuWanted(QPoint globalPos);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void leaveEvent(QEvent* event) override;
    bool event(QEvent* event) override;

  private:
    void paintOverview(QPainter& p);
    void paintSpectrum(QPainter& p);
    QString trackLabel(int track) const;

    CMorvath3Doc& doc_;
    ClickView& wave_;
    bool spectrum_ = false;
    bool signature_ = false;
    bool allTracks_ = false;
    bool corrected_ = true;
    int64_t play_ = -1;
    QRect label_;
    bool dragging_ = false;
    int pressX_ = 0, dragX_ = 0;
};

} // namespace tarnival
