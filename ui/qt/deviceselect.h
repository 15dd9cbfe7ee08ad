#pragma once
// The device selection dialog: the attached FTDI devices in a list, the first row
// selected; the operator confirms a row. One instance for the whole run, hidden between
// uses.

#include <QDialog>

class QFrame;
class QLabel;
class QPushButton;
class QTreeWidget;

namespace tq9 {

class Tdeviceselectbox : public QDialog {
    Q_OBJECT
  public:
    static constexpr int mrOk = 1;
    static constexpr int mrCancel = 2;

    explicit Tdeviceselectbox(QWidget* parent = nullptr);

    void ClearRows();
    void AddRow(const QString& caption, const QString& serial, const QString& description);
    void SelectRow(int row);
    // The selected row's position, or -1 when no row is selected.
    int SelectedRow() const;
    // Shows the dialog modally; mrOk or mrCancel.
    int ShowModal();

    void OKButtonClick();
    void CancelButtonClick();
    void ListView1DblClick();

    QFrame* Panel1;
    QLabel* Label1;
    QTreeWidget* ListView1;
    QPushButton* OKButton;
    QPushButton* CancelButton;

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace tq9
