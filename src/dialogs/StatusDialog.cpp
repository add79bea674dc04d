#include "dialogs/StatusDialog.h"
#include "dialogs/Dialogs.h"
#include "facade/Document.h"

#include <QDialogButtonBox>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace tarnival {

StatusDialog::StatusDialog(QWidget* parent, const CMorvath3Doc& doc) : QDialog(parent) {
    setWindowTitle("Status");
    text_ = new QPlainTextEdit(this);
    text_->setReadOnly(true);
    text_->setPlainText(QString::fromStdString(doc.StatusReport()));
    text_->setTabStopDistance(fontMetrics().horizontalAdvance("    "));
    text_->setMinimumSize(300, fontMetrics().lineSpacing() * 18);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_);
    layout->addWidget(buttons);
}

QString StatusDialog::text() const {
    return text_->toPlainText();
}

void showStatusDialog(QWidget* parent, CMorvath3Doc& doc) {
    StatusDialog dialog(parent, doc);
    dialog.exec();
}

} // namespace tarnival
