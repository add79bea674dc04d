#include "views/AdjustDialog.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarnival {

AdjustDialog::AdjustDialog(QWidget* parent) : QDialog(parent, Qt::Tool) {
    setWindowTitle("User Adjust Mode");
    setModal(false);
    setAttribute(Qt::WA_ShowWithoutActivating);
    text_ = new QLabel(this);
    text_->setAlignment(Qt::AlignCenter);
    apply_ = new QPushButton("Apply", this);
    abort_ = new QPushButton("Abort", this);
    apply_->setFocusPolicy(Qt::NoFocus);
    abort_->setFocusPolicy(Qt::NoFocus);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(apply_);
    buttons->addWidget(abort_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(text_);
    layout->addLayout(buttons);
    connect(apply_, &QPushButton::clicked, this, &AdjustDialog::applied);
    connect(abort_, &QPushButton::clicked, this, &AdjustDialog::aborted);
}

void AdjustDialog::showFor(const QString& caption, const QString& text) {
    setWindowTitle(caption);
    text_->setText(text);
    adjustSize();
    if (QWidget* top = parentWidget() ? parentWidget()->window() : nullptr) {
        QRect frame = top->frameGeometry();
        move(frame.right() - width(), frame.top() + 70);
    }
    show();
}

void AdjustDialog::closeEvent(QCloseEvent* event) {
    // Closing the window is an Abort: adjust mode must not be left half done.
    event->ignore();
    emit aborted();
}

} // namespace tarnival
