#pragma once
// The board records window over Win32, the Qt one's twin over the same rules
// (ops/RecordsView): the records newest first, filtered, a row's full detail, the day's
// summary and the export of the shown filter's rows. Modeless and owned by the main window,
// so it closes with it; its own close box only hides it. The line's read and the export
// run on threads of their own and answer through the window's queue, so it keeps painting.

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "ops/RecordsView.h"

namespace tq9 {

class RecordsWindow : private RecordsFrontEnd {
  public:
    // Made hidden; `lineReader`: the connection that reads the whole line, empty: none.
    RecordsWindow(HWND owner, RecordStore& store, std::string lineReader);
    ~RecordsWindow() override;
    RecordsWindow(const RecordsWindow&) = delete;
    RecordsWindow& operator=(const RecordsWindow&) = delete;

    HWND Handle() const { return hwnd_; }
    // Reads the rows again with the fields as they stand and brings the window to the front.
    void Present();
    // The window's keys when `msg` is for it: Enter in a field is Show, Tab moves on.
    bool IsDialogKey(MSG& msg);

  private:
    struct LineAnswer;
    struct ExportJob;

    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void Command(int id, int code, HWND control);
    LRESULT Notify(const NMHDR& header);

    // Layout (RecordsWindowLayout.cpp).
    void CreateControls();
    void CreateFonts();
    void Layout();
    void PlaceAtStart(HWND owner);
    void FitColumns();
    void FitLastColumn();
    int S(int pixelsAt96) const;
    HWND Child(int id) const { return GetDlgItem(hwnd_, id); }
    int TextWidth(const std::string& text) const;
    std::string TextOf(int id) const;
    RecordsFields Fields() const;

    void ShowDetail(int row);
    void SetText(int id, const std::string& text);
    void Export(RecordsFormat format);
    bool AskPath(RecordsFormat format, std::string& path);
    void ShowExportNote();
    void ExportEnded();

    // RecordsFrontEnd
    void ShowPage(const RecordsPage& page) override;
    void ShowSummary(const std::string& text) override;
    void ReadLineApart(int reading, const std::string& reader, const RecordFilter& filter) override;
    void ShowWarning(const std::string& text) override;

    RecordsWindowRules rules_;
    bool benchShown_ = false;  // the rows shown are the line's, with their bench
    bool refused_ = false;     // the count line says why a date is refused
    // The answer of the line's newest read, filled on its thread; the rules drop a stale one.
    std::shared_ptr<LineAnswer> lineAnswer_;
    std::shared_ptr<ExportJob> export_;  // the export on its way; null when none

    HWND hwnd_ = nullptr;
    HWND note_ = nullptr;  // "Exporting..." while a long export goes on
    HWND tooltip_ = nullptr;
    HWND lastFocus_ = nullptr;  // given back when the window is active again
    UINT dpi_ = 96;
    HFONT font_ = nullptr, fixedFont_ = nullptr;
};

}  // namespace tq9
