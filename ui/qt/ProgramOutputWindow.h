#pragma once
// A window of its own for the output of a program run that is shown (the flash run):
// the output appears as it comes; the operator can close the window once the run ended.

#include <QDialog>

class QPlainTextEdit;
class QPushButton;

namespace tq9 {

class ProgramOutputWindow : public QDialog {
    Q_OBJECT
  public:
    explicit ProgramOutputWindow(QWidget* parent = nullptr);

    void Begin(const QString& commandLine);
    void Add(const QString& text);
    void End(int exitCode);
    bool Running() const { return running_; }
    QString Text() const;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    QPlainTextEdit* output_;
    QPushButton* closeButton_;
    bool running_ = false;
};

}  // namespace tq9
