#pragma once
// The board records window: the records newest first, filtered by board serial,
// operation, outcome and date range, a row's full detail, the day's summary, and export
// of the filtered rows as CSV or JSON. Reached from the main window's Records menu; it
// only reads the records.

#include <QWidget>
#include <vector>

#include "records/RecordStore.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;

namespace tq9 {

class RecordsWindow : public QWidget {
    Q_OBJECT
  public:
    explicit RecordsWindow(RecordStore& store, QWidget* parent = nullptr);

    // Reads the records again with the filter as the fields stand.
    void Refresh();
    // The filtered rows (all of them, not only those shown) written to `path`; false with
    // the reason shown to the operator when the file cannot be written.
    bool ExportCsv(const QString& path);
    bool ExportJson(const QString& path);
    RecordFilter Filter() const;

    QLineEdit* SerialFilter;
    QComboBox* OperationFilter;
    QComboBox* OutcomeFilter;
    QLineEdit* SinceFilter;
    QLineEdit* UntilFilter;
    QPushButton* ShowButton;
    QLabel* Summary;
    QTableWidget* Table;
    QPlainTextEdit* Detail;
    QPushButton* CsvButton;
    QPushButton* JsonButton;

    static constexpr int kRowsShown = 100;

  private:
    bool Export(const QString& path, const std::string& content);
    void ShowDetail();

    RecordStore& store_;
    std::vector<OperationRecord> rows_;
};

}  // namespace tq9
