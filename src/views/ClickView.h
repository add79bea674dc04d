#pragma once
#include "audio/PlaybackEngine.h"
#include "document/Correction.h"
#include "views/ViewGeometry.h"

#include <QWidget>

#include <cstdint>
#include <memory>
#include <vector>

namespace tarnival {

class AdjustDialog;
class CMorvath3Doc;
class QtAudioOutput;
class QtEngineLoop;

// The detailed waveform view: both channels about the current position, original under
// corrected, with the current entry, boundaries, cues, cuts and the block; stepping, adjusting,
// inserting and removing corrections, and playback.
class ClickView : public QWidget, private PlaybackObserver {
    Q_OBJECT
  public:
    enum Background { Classic = 0, White = 1, Grey = 2 };

    ClickView(CMorvath3Doc& doc, QWidget* parent = nullptr);
    ~ClickView() override;

    // The document was loaded or emptied.
    void fileOpened();
    void fileClosed();
    // The document's current entry changed (already adopted): follow it.
    void showEntry(int index);

    int32_t position() const { return position_; }
    void setPosition(int32_t position);
    view::Mapping mapping() const;
    // The stretch the window shows, clamped to the data.
    int32_t visibleStart() const;
    int32_t visibleEnd() const;

    // Scales.
    bool coarse() const;
    int scaleIndex() const { return coarse() ? coarseIndex_ : fineIndex_; }
    int maxScaleIndex() const;
    int samplesPerDiv() const;
    void setScaleIndex(int index);
    void stepHorizontal(int delta); // +1 coarser
    int verticalIndex() const { return verticalIndex_; }
    int verticalScale() const { return view::kVerticalScales[size_t(verticalIndex_ - 1)]; }
    void setVerticalIndex(int index);
    int traceSeparation() const { return traceSep_; }
    void setTraceSeparation(int pixels);
    // Vertical scrolling: the sample level shown at the middle between the two baselines. It
    // stays there when the vertical scale changes.
    double centreLevel() const { return centreLevel_; }
    void setCentreLevel(double level);
    int baselineY(bool left) const { return baseline(left); }
    // The boundary tool while a boundary is current (source positions).
    int32_t fadeHandle() const;
    int32_t silenceHandle() const;
    QPoint toolHandlePoint(bool fade) const;
    void setChannelsShown(bool left, bool right);
    bool leftShown() const { return showLeft_; }
    bool rightShown() const { return showRight_; }

    // Display options.
    bool grid() const { return grid_; }
    void setGrid(bool on);
    bool scaleShown() const { return scale_; }
    void setScaleShown(bool on);
    bool thinTrace() const { return thin_; }
    void setThinTrace(bool on);
    int background() const { return background_; }
    void setBackground(int background);
    bool hideNormalisation() const { return hideNorm_; }
    void setHideNormalisation(bool on);
    bool signature() const { return signature_; }
    void setSignature(bool on);

    // Block selection (source positions).
    bool hasBlock() const { return blockEnd_ > blockStart_; }
    int32_t blockStart() const { return blockStart_; }
    int32_t blockEnd() const { return blockEnd_; }
    void setBlock(int32_t start, int32_t end);
    void clearBlock();

    // Adjust mode.
    bool adjusting() const { return adjusting_; }
    AdjustDialog* adjustDialog() const { return adjust_; }
    void adjustInsert();
    void shrink();
    void applyAdjust();
    void abortAdjust();

    // Commands of the view.
    void removeCurrent();
    void toggleChannel(bool left);
    void insertCue();
    void find(bool forward);
    void trackMarker(bool forward);
    void splitTrack();
    void cancelBlock() { clearBlock(); }
    void doubleClickAt(int x);
    int findCriterion() const { return findCriterion_; }
    void setFindCriterion(int criterion) { findCriterion_ = criterion; }
    std::vector<int32_t>& cues() { return cues_; }

    // Enabling rules.
    bool loaded() const;
    bool busy() const;
    bool currentIsCorrection() const;
    bool currentIsMarker() const;
    bool currentInCut() const;
    bool canEditCorrection() const;
    bool handlesActive() const;

    // Playback.
    PlaybackEngine& playback() { return *playback_; }
    bool playing() const { return playback_->isPlaying(); }
    void playTrack(bool corrected);
    void playBlock(bool corrected);
    void audition(bool corrected);
    void auditionBoundary();
    void pause();
    void skipBack();       // Apply in adjust mode when not playing
    void cancelPlayback(); // Abort in adjust mode when not playing
    void setSpeed(int sliderPosition);
    int32_t playPosition() const { return playX_ >= 0 ? playback_->playPosition() : -1; }

  signals:
    void cursorPosition(qint64 position); // -1: clear the readout
    void scaleChanged();
    void stateChanged(); // enabling of commands may have changed
    void blockChanged();
    void playPositionMoved(qint64 position); // -1: playback ended
    void playbackShown(bool shown);
    void sourceToggled();
    void stepListRequested(int rows);
    void contextMenuWanted(QPoint globalPos, bool blockMenu);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

  private:
    enum class Drag {
        None,
        Select,
        MoveBlock,
        BlockStartEdge,
        BlockEndEdge,
        CorrectionEdge,
        Boundary,
        FadeHandle,
        SilenceHandle
    };

    void paintFrame(QPainter& p);
    void paintTraces(QPainter& p, const view::Mapping& m);
    void paintEnvelope(QPainter& p, const view::Mapping& m);
    void paintLevelProfile(QPainter& p, const view::Mapping& m);
    void paintMarkers(QPainter& p, const view::Mapping& m);
    void paintSignature(QPainter& p, const view::Mapping& m);
    int baseline(bool left) const;
    QColor backgroundColour() const;
    bool editingBoundary() const;

    void selectEntry(int index);
    void enterAdjust(bool afterShrink, bool inserted);
    void editCurrent(int32_t width, int32_t position);
    void moveCorrection(int32_t frames);
    void widenCorrection(int32_t bytes);
    void jumpPlayback(bool forward);
    void limitScale();
    void showBlockInList();
    bool onCorrectionEdge(int x) const;
    bool onBoundaryHandle(int x) const;
    // The boundary tool's handles in the top strip: 1 fade, 2 silence, 0 none.
    int toolHandleAt(QPoint at) const;
    double toolHandleX(bool fade) const;
    void paintBoundaryTool(QPainter& p, const view::Mapping& m);
    void readToolLengths();
    int blockEdgeAt(int x) const; // 1 start, 2 end, 0 none
    int32_t selectionPosition(int x) const;
    std::optional<BoundaryAudition> boundaryAudition() const;

    // PlaybackObserver
    void playbackStarted() override;
    void playPositionChanged(int32_t sourcePosition) override;
    void toggleChanged() override;
    void pauseChanged(bool paused) override;
    void playbackEnded() override;

    CMorvath3Doc& doc_;
    std::unique_ptr<QtAudioOutput> output_;
    std::unique_ptr<QtEngineLoop> loop_;
    std::unique_ptr<PlaybackEngine> playback_;
    AdjustDialog* adjust_ = nullptr;

    int rate_ = 44100;
    int32_t position_ = 0;
    int fineIndex_ = view::kDefaultFineIndex;
    int coarseIndex_ = view::kDefaultCoarseIndex;
    int verticalIndex_ = view::kDefaultVerticalIndex;
    int traceSep_ = 100;
    double centreLevel_ = 0;
    bool showLeft_ = true, showRight_ = true;
    bool grid_ = true, scale_ = true, thin_ = false, hideNorm_ = false, signature_ = false;
    int background_ = Classic;
    int findCriterion_ = 30;
    int32_t blockStart_ = 0, blockEnd_ = 0;
    std::vector<int32_t> cues_;
    int32_t lastCueRequest_ = -1;

    // Adjust mode.
    bool adjusting_ = false;
    bool adjustInserted_ = false;
    Correction saved_{};
    int32_t boundaryPos_ = 0; // where a boundary being adjusted stands
    // The boundary tool's handles, as lengths from the boundary: the fade (inside the track) and
    // the silence (outside it).
    int32_t fadeLength_ = 0;
    int32_t silenceLength_ = 0;
    bool handlesMoved_ = false;

    // Mouse.
    Drag drag_ = Drag::None;
    int pressX_ = 0, dragX_ = 0;
    int32_t dragBlockStart_ = 0, dragBlockEnd_ = 0;
    double edgeLeft_ = -1, edgeRight_ = -1; // pixel edges of the highlighted correction

    int playX_ = -1;
    bool playAnnounced_ = false;
};

} // namespace tarnival
