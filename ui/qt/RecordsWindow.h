#pragma once
// The board records window: the records newest first, filtered by board serial,
// operation, outcome and date range, a row's full detail, the day's summary, and export
// of the filtered rows as CSV or JSON. Reached from the main window's Records menu; it
// only reads the records. With a line server set, "Whole line" shows every bench's rows
// from it instead (filtered by bench too) and the line's summary of the day; they are read
// on a thread of their own, so the window never waits on the network.

#include <QWidget>
#include <vector>

#include "ops/RecordsView.h"
#include "records/RecordStore.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTableWidget;

namespace tq9 {

class RecordsWindow : public QWidget, private RecordsFrontEnd {
    Q_OBJECT
  public:
    // `lineReader`: the libpq connection string that reads the whole line; empty: none.
    explicit RecordsWindow(RecordStore& store, std::string lineReader = {},
                           QWidget* parent = nullptr);

    // Reads the records again with the filter as the fields stand, the newest kRowsShown.
    void Refresh();
    // The rows the shown filter takes (all of them, not only those shown: the filter that
    // made the table, not fields edited since) written to `path`; false with the reason
    // shown to the operator when the file cannot be written, or when the table shows a
    // refused filter, and then nothing is written.
    bool ExportCsv(const QString& path);
    bool ExportJson(const QString& path);
    RecordFilter Filter() const;

    QLineEdit* SerialFilter;
    QComboBox* OperationFilter;
    QComboBox* OutcomeFilter;
    QLineEdit* SinceFilter;
    QLineEdit* UntilFilter;
    QCheckBox* WholeLine;
    QLineEdit* BenchFilter;
    QPushButton* ShowButton;
    QLabel* Summary;
    QTableWidget* Table;
    QPlainTextEdit* Detail;
    QLabel* Shown;            // "100 of 2345 rows", or why a date is refused
    QPushButton* MoreButton;  // shows kRowsShown more
    QPushButton* CsvButton;
    QPushButton* JsonButton;

    static constexpr int kRowsShown = kRecordsStep;

  signals:
    // The line's rows have been read and shown (or why they could not be).
    void LineShown();

  private:
    // The filtered rows, all of them, as CSV (else JSON), from this PC or the line.
    bool Export(const QString& path, RecordsFormat format);
    void AskAndExport(RecordsFormat format);
    void ShowDetail();
    RecordsFields Fields() const;

    // RecordsFrontEnd
    void ShowPage(const RecordsPage& page) override;
    void ShowSummary(const std::string& text) override;
    void ReadLineApart(int reading, const std::string& reader, const RecordFilter& filter) override;
    void ShowWarning(const std::string& text) override;

    RecordsWindowRules rules_;
};

}  // namespace tq9
