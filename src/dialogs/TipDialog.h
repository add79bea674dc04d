#pragma once
#include <QDialog>

#include <cstdint>

class QCheckBox;
class QLabel;

namespace tarnival {

class Profile;
class UserInterface;

// Reads tips from the tips file: one tip per line; empty lines and lines starting with "#" are
// skipped; after the last tip the reading starts again at the top. The position (a byte offset)
// is kept in "FilePos" and starts again at 0 when the file's modification time ("TimeStamp")
// changes.
class TipReader {
  public:
    TipReader(Profile& profile, QString path);
    // The next tip; the message for a missing or unreadable file instead.
    QString next(UserInterface& ui);
    int64_t position() const { return position_; }

  private:
    Profile& profile_;
    QString path_;
    int64_t position_ = 0;
    bool opened_ = false;
};

// "Tip of the Day".
class TipDialog : public QDialog {
  public:
    TipDialog(QWidget* parent, Profile& profile, UserInterface& ui, const QString& tipsFile);
    QLabel* tipLabel() const { return tip_; }
    QCheckBox* startUpBox() const { return startUp_; }
    void nextTip();
    void done(int result) override;

  private:
    Profile& profile_;
    UserInterface& ui_;
    TipReader reader_;
    QLabel* tip_;
    QCheckBox* startUp_;
};

// "About Tarnival".
class AboutDialog : public QDialog {
  public:
    explicit AboutDialog(QWidget* parent);
};

} // namespace tarnival
