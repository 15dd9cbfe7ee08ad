// The board records window on the offscreen platform, over a real records file: reached
// from the main window's menu after a device flow, filtered, and exported.

#include "ui/qt/RecordsWindow.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSignalSpy>
#include <QTableWidget>
#include <fstream>
#include <sstream>

#include "line/LineServer.h"
#include "records/RecordExport.h"
#include "support/GuiBench.h"
#include "support/PgServer.h"

namespace tq9 {
namespace {

class RecordsWindowTest : public test::GuiBench {
  protected:
    RecordsWindowTest() {
        opened = OpenRecords(programDir.File("records.sqlite3").string(), "tq9-bench");
        records = opened.sink;
    }
    void AddBoard(const std::string& serial, const std::string& operation,
                  const std::string& outcome) {
        OperationRecord r;
        r.started = UtcNowIso8601();
        r.host = "bench";
        r.program = "tq9-bench";
        r.operation = operation;
        std::string whyNot;
        ASSERT_TRUE(opened.store->Begin(r, whyNot)) << whyNot;
        r.boardSerial = serial;
        r.outcome = outcome;
        r.errorKind = outcome == kOutcomeCompleted ? "noErr" : "FileErr";
        r.reason = outcome == kOutcomeCompleted ? "" : "##### Error: Missing file tq_midi.dat";
        r.console = "Serial Number: " + serial + "\nsecond, \"quoted\" line";
        ASSERT_TRUE(opened.store->Finish(r, whyNot)) << whyNot;
    }
    OpenedRecords opened;
};

TEST_F(RecordsWindowTest, TheMenuShowsTheDeviceFlowsRowAndTheFiltersAndExportWork) {
    Start();
    RunDeviceFlow();
    AddBoard("4711", "production run", kOutcomeCompleted);
    AddBoard("4712", "production run", kOutcomeEndedEarly);
    AddBoard("4711", "AVR only", kOutcomeCompleted);

    auto* window = qobject_cast<RecordsWindow*>(form->ShowRecords());
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->isVisible());
    ASSERT_EQ(window->Table->rowCount(), 4);
    EXPECT_EQ(window->Shown->text(), "4 rows");
    EXPECT_TRUE(window->MoreButton->isHidden());
    EXPECT_EQ(window->Table->item(3, 2)->text(), "device flow") << "newest first";
    EXPECT_EQ(window->Table->item(3, 4)->text(), "12345");
    EXPECT_EQ(window->Table->item(3, 6)->text(), "TQ9A0001");
    EXPECT_TRUE(
        window->Summary->text().contains("3 boards programmed, 2 succeeded; failures: FileErr 1"))
        << window->Summary->text().toStdString();

    window->SerialFilter->setText("4711");
    window->Refresh();
    ASSERT_EQ(window->Table->rowCount(), 2);
    EXPECT_EQ(window->Table->item(0, 2)->text(), "AVR only");
    window->OutcomeFilter->setCurrentText(kOutcomeEndedEarly);  // refreshes by itself
    EXPECT_EQ(window->Table->rowCount(), 0);
    window->SerialFilter->clear();
    window->Refresh();
    ASSERT_EQ(window->Table->rowCount(), 1);
    window->Table->selectRow(0);
    EXPECT_TRUE(window->Detail->toPlainText().contains("console:\nSerial Number: 4712"));

    const QString path = QString::fromStdString(programDir.File("export.csv").string());
    ASSERT_TRUE(window->ExportCsv(path));
    std::stringstream csv;
    csv << std::ifstream(path.toStdString(), std::ios::binary).rdbuf();
    const std::string text = csv.str();
    EXPECT_EQ(text.rfind("\xEF\xBB\xBFid,started,ended,host,program,operation,", 0), 0u)
        << "the byte order mark Excel needs to read UTF-8, then the header: " << text;
    std::size_t rows = 0;
    for (std::size_t at = 0; (at = text.find("\r\n", at)) != std::string::npos; at += 2)
        ++rows;
    EXPECT_EQ(rows, 2u) << "the header and the one row; its console's LF stays inside quotes";
    EXPECT_NE(text.find(",4712,"), std::string::npos);
    EXPECT_NE(text.find("\"Serial Number: 4712\nsecond, \"\"quoted\"\" line\""), std::string::npos)
        << text;
    EXPECT_EQ(text.find("4711"), std::string::npos) << "only the filtered rows";
}

// More rows than are shown: "100 of N", and more on request; a date that does not exist
// is refused, saying so, instead of showing no rows.
TEST_F(RecordsWindowTest, TheWindowCountsItsRowsShowsMoreAndRefusesADateThatDoesNotExist) {
    for (int i = 0; i < 230; ++i)
        AddBoard(std::to_string(5000 + i % 2), "AVR only", kOutcomeCompleted);
    Start();
    auto* window = qobject_cast<RecordsWindow*>(form->ShowRecords());
    ASSERT_TRUE(window);
    EXPECT_EQ(window->Table->rowCount(), RecordsWindow::kRowsShown);
    EXPECT_EQ(window->Shown->text(), "100 of 230 rows");
    EXPECT_TRUE(window->MoreButton->isVisible());
    window->MoreButton->click();
    EXPECT_EQ(window->Shown->text(), "200 of 230 rows");
    window->MoreButton->click();
    EXPECT_EQ(window->Table->rowCount(), 230);
    EXPECT_EQ(window->Shown->text(), "230 rows");
    EXPECT_TRUE(window->MoreButton->isHidden());

    window->SerialFilter->setText("5001");
    window->Refresh();
    EXPECT_EQ(window->Shown->text(), "100 of 115 rows") << "a new filter starts at 100 again";

    window->SinceFilter->setText("2026-02-30");
    window->Refresh();
    EXPECT_EQ(window->Table->rowCount(), 0);
    EXPECT_EQ(window->Shown->text(),
              "\"2026-02-30\" is not a valid date: write it as YYYY-MM-DD (a day that exists), "
              "for example 2026-12-09.");
    EXPECT_TRUE(window->MoreButton->isHidden());
    window->SinceFilter->setText("2026-02-28");
    window->Refresh();
    EXPECT_EQ(window->Shown->text(), "100 of 115 rows");
}

TEST_F(RecordsWindowTest, WithoutAStoreTheMenuSaysWhyInsteadOfAWindow) {
    records = RecordSink{};
    records.openFailure = "cannot open /nowhere/records.sqlite3 (unable to open database file)";
    Start();
    QString said;
    test::WhenModal([&](QWidget* modal) {
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            said = box->text();
            box->accept();
        }
    });
    EXPECT_EQ(form->ShowRecords(), nullptr);
    EXPECT_EQ(said,
              "No board records are kept: cannot open /nowhere/records.sqlite3 (unable to "
              "open database file)");
}

// A line server that is away: the rows wait, and the status bar says how many, whatever
// the operator does meanwhile.
TEST_F(RecordsWindowTest, TheStatusBarSaysHowManyRowsWaitForTheLineServer) {
    LineSettings away;
    away.server = "host=" + programDir.File("no-server").string() + " connect_timeout=1";
    away.bench = "line-3";
    opened = OpenRecords(programDir.File("line.sqlite3").string(), "tq9-bench", away);
    ASSERT_TRUE(opened.line);
    records = opened.sink;
    line = opened.line.get();
    Start();
    EXPECT_TRUE(form->LineStatus->isHidden()) << "nothing waits yet";
    AddBoard("4711", "production run", kOutcomeCompleted);
    AddBoard("4712", "AVR only", kOutcomeCompleted);
    opened.line->Poke();
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (form->LineStatus->isHidden() && std::chrono::steady_clock::now() < giveUp)
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_TRUE(form->LineStatus->isVisible());
    EXPECT_EQ(form->LineStatus->text(), "2 rows wait for the line server");
}

// "Whole line": every bench's rows from the line's server, read on a thread of their own,
// with the bench column and filter and the line's summary of the day; a server that does
// not answer is said in the summary.
TEST_F(RecordsWindowTest, TheWholeLineShowsEveryBenchsRowsAndTheLinesDay) {
    std::string whyNot;
    test::PgServer* server = test::PgServer::Shared(whyNot);
    ASSERT_TRUE(server) << whyNot;
    const std::string database = server->NewDatabase();
    {
        auto admin = LineServer::Connect(server->Connection(database), whyNot);
        ASSERT_TRUE(admin) << whyNot;
        int found = 0;
        ASSERT_TRUE(admin->Init(found, whyNot)) << whyNot;
        // Today: board 21 right first time at line-a; board 22 failed at line-b.
        ASSERT_TRUE(admin->Exec(
            "CREATE ROLE r_" + database +
                " LOGIN IN ROLE tq9_reader; INSERT INTO "
                "tq9.operations (uuid, bench, local_id, started, ended, host, program, pid, "
                "operation, board_serial, outcome, error_kind) VALUES (gen_random_uuid(), "
                "'line-a', 1, now() - interval '2 seconds', now(), 'h', 'p', 1, 'production run', "
                "'21', 'completed', ''), (gen_random_uuid(), 'line-b', 1, now() - interval '1 "
                "second', now(), 'h', 'p', 1, 'production run', '22', 'ended early', 'Taperr'), "
                "(gen_random_uuid(), 'line-b', 2, now(), now(), 'h', 'p', 1, 'device flow', '22', "
                "'completed', '')",
            whyNot))
            << whyNot;
    }
    LineSettings line;
    line.reader = server->Connection(database, "r_" + database);
    opened = OpenRecords(programDir.File("line.sqlite3").string(), "tq9-bench", line);
    records = opened.sink;
    Start();
    AddBoard("4711", "AVR only", kOutcomeCompleted);
    auto* window = qobject_cast<RecordsWindow*>(form->ShowRecords());
    ASSERT_TRUE(window);
    ASSERT_TRUE(window->WholeLine->isEnabled());
    EXPECT_TRUE(window->Table->isColumnHidden(1)) << "this PC's rows have no bench";

    QSignalSpy shown(window, &RecordsWindow::LineShown);
    window->WholeLine->setChecked(true);
    ASSERT_TRUE(shown.wait(15000));
    EXPECT_TRUE(window->BenchFilter->isVisible());
    EXPECT_FALSE(window->Table->isColumnHidden(1));
    ASSERT_EQ(window->Table->rowCount(), 3);
    EXPECT_EQ(window->Table->item(0, 1)->text(), "line-b");
    EXPECT_EQ(window->Table->item(0, 2)->text(), "device flow");
    EXPECT_EQ(window->Table->item(2, 1)->text(), "line-a");
    EXPECT_TRUE(window->Summary->text().endsWith(
        "2 benches): 1 board programmed, first-pass yield 50% (1 of 2); failures: Taperr 1"))
        << window->Summary->text().toStdString();
    EXPECT_TRUE(window->Summary->text().startsWith("Today on the line ("));

    window->BenchFilter->setText("line-a");
    window->Refresh();
    ASSERT_TRUE(shown.wait(15000));
    ASSERT_EQ(window->Table->rowCount(), 1);
    EXPECT_EQ(window->Table->item(0, 4)->text(), "21");

    window->WholeLine->setChecked(false);
    ASSERT_EQ(window->Table->rowCount(), 1);
    EXPECT_EQ(window->Table->item(0, 4)->text(), "4711") << "this PC's again";
    EXPECT_TRUE(window->Table->isColumnHidden(1));

    RecordsWindow away(*opened.store,
                       "host=" + programDir.File("no-server").string() + " connect_timeout=1");
    QSignalSpy said(&away, &RecordsWindow::LineShown);
    away.WholeLine->setChecked(true);
    EXPECT_EQ(away.Summary->text(), "Reading the whole line...");
    ASSERT_TRUE(said.wait(15000));
    EXPECT_TRUE(away.Summary->text().startsWith("The line's records cannot be read: "))
        << away.Summary->text().toStdString();
    EXPECT_EQ(away.Table->rowCount(), 0);
}

}  // namespace
}  // namespace tq9
