#pragma once
#include <QDialog>

#include <string>
#include <vector>

class QLineEdit;
class QPushButton;
class QTableWidget;

namespace tarnival {

class CMorvath3Doc;

// One row of "Track Properties" as the user edits it: texts, the timings in seconds as typed.
struct TrackRow {
    std::string title;
    std::string artist;
    std::string preSilence;
    std::string fadeIn;
    std::string fadeOut;
    std::string postSilence;
};

// "Track %d Properties": one track's title, artist and timings, with Prev. / Next Track.
class TrackEditDialog : public QDialog {
  public:
    TrackEditDialog(QWidget* parent, std::vector<TrackRow>& rows, int index);
    int index() const { return index_; }
    QLineEdit* field(int i) const {
        return fields_[i];
    } // title, artist, fade in, fade out,
      // pre-silence, post-silence
    QPushButton* previousButton() const { return previous_; }
    QPushButton* nextButton() const { return next_; }

    void accept() override;

  private:
    void load();
    void store();
    void go(int delta);

    std::vector<TrackRow>& rows_;
    int index_;
    QLineEdit* fields_[6];
    QPushButton* previous_;
    QPushButton* next_;
};

// "Default Artist and Timings": the default artist and the four default timings.
class DefaultTimingsDialog : public QDialog {
  public:
    DefaultTimingsDialog(QWidget* parent, CMorvath3Doc& doc);
    QLineEdit* field(int i) const {
        return fields_[i];
    } // artist, pre-silence, fade in, fade
      // out, post-silence
    void accept() override;

  private:
    CMorvath3Doc& doc_;
    QLineEdit* fields_[5];
};

// "Track Properties": every track's tags and timings, the album and genre of the side.
class TrackPropertiesDialog : public QDialog {
  public:
    TrackPropertiesDialog(QWidget* parent, CMorvath3Doc& doc);

    QTableWidget* table() const { return table_; }
    QLineEdit* albumEdit() const { return album_; }
    QLineEdit* genreEdit() const { return genre_; }
    QPushButton* button(const QString& text) const;
    std::vector<TrackRow>& rows() { return rows_; }

    // "Edit" / "Change": the per-track dialog on the current row.
    void editCurrent();
    // "Use Defaults": the default timings into the selected rows.
    void useDefaults();
    void accept() override;

  private:
    void fillTable();

    CMorvath3Doc& doc_;
    std::vector<TrackRow> rows_;
    QTableWidget* table_;
    QLineEdit* album_;
    QLineEdit* genre_;
};

} // namespace tarnival
