#include "ui/qt/ProgramOutputWindow.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace tq9 {

ProgramOutputWindow::ProgramOutputWindow(QWidget* parent) : QDialog(parent) {
    setObjectName("ProgramOutputWindow");
    setModal(false);
    resize(640, 360);
    auto* layout = new QVBoxLayout(this);
    output_ = new QPlainTextEdit;
    output_->setReadOnly(true);
    output_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    closeButton_ = new QPushButton("Close");
    closeButton_->setEnabled(false);
    layout->addWidget(output_);
    layout->addWidget(closeButton_, 0, Qt::AlignRight);
    connect(closeButton_, &QPushButton::clicked, this, &QDialog::close);
}

void ProgramOutputWindow::Begin(const QString& commandLine) {
    running_ = true;
    setWindowTitle("avrdude (running)");
    output_->setPlainText(commandLine + "\n\n");
    closeButton_->setEnabled(false);
    show();
    raise();
}

void ProgramOutputWindow::Add(const QString& text) {
    if (text.isEmpty()) return;
    output_->moveCursor(QTextCursor::End);
    output_->insertPlainText(text);
    output_->moveCursor(QTextCursor::End);
}

void ProgramOutputWindow::End(int exitCode) {
    running_ = false;
    setWindowTitle("avrdude (ended)");
    Add(QString("\n[ended with exit code %1]\n").arg(exitCode));
    closeButton_->setEnabled(true);
}

QString ProgramOutputWindow::Text() const {
    return output_->toPlainText();
}

void ProgramOutputWindow::closeEvent(QCloseEvent* event) {
    // The run goes on to its end; its window stays until then.
    if (running_) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void ProgramOutputWindow::keyPressEvent(QKeyEvent* event) {
    if (running_ && event->key() == Qt::Key_Escape) return;
    QDialog::keyPressEvent(event);
}

}  // namespace tq9
