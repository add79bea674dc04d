#pragma once
#include <QDialog>

class QPlainTextEdit;

namespace tarnival {

class CMorvath3Doc;

// "Status": the document's status report in one read-only text field.
class StatusDialog : public QDialog {
  public:
    StatusDialog(QWidget* parent, const CMorvath3Doc& doc);
    QString text() const;

  private:
    QPlainTextEdit* text_;
};

} // namespace tarnival
