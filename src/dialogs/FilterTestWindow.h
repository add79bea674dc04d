#pragma once
#include "dsp/FilterChain.h"

#include <QByteArray>
#include <QDialog>

#include <memory>

class QAudioSink;
class QBuffer;
class QPushButton;
class QRadioButton;

namespace tarnival {

class CMorvath3Doc;

// The filter test: plays a short stretch from the position marker, as it is or as the dialog's
// current choices would make it. The working file is not changed.
class FilterTestWindow : public QDialog {
  public:
    FilterTestWindow(QWidget* parent, CMorvath3Doc& doc, const FilterSettings& settings);
    ~FilterTestWindow() override;

    QRadioButton* fourSeconds() const { return four_; }
    QRadioButton* twentySeconds() const { return twenty_; }
    QPushButton* originalButton() const { return original_; }
    QPushButton* filteredButton() const { return filtered_; }

    FilterRange stretch() const;
    // The audio each button plays (interleaved samples); computed on first use.
    const std::vector<int16_t>& originalAudio();
    const std::vector<int16_t>& filteredAudio();
    void play(const std::vector<int16_t>& audio);

  private:
    void stopPlaying();

    CMorvath3Doc& doc_;
    EffectiveFilters filters_;
    int64_t position_;
    QRadioButton* four_;
    QRadioButton* twenty_;
    QPushButton* original_;
    QPushButton* filtered_;
    FilterRange made_{};
    std::vector<int16_t> original_audio_;
    std::vector<int16_t> filtered_audio_;
    FilterRange madeFiltered_{};
    QByteArray bytes_;
    std::unique_ptr<QBuffer> buffer_;
    std::unique_ptr<QAudioSink> sink_;
};

} // namespace tarnival
