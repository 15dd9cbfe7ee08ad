// The records window's life and events: each control asks ops/RecordsView what to read and
// what to say; the line's read and the export go on threads of their own.

#include "ui/win32/RecordsWindow.h"

#include <commctrl.h>
#include <commdlg.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "base/Utf16_win.h"
#include "ui/win32/ControlIds.h"
#include "ui/win32/Dpi.h"
#include "ui/win32/KeptFocus.h"

namespace tq9 {

using namespace win32;

namespace {
constexpr const wchar_t* kNoteClassName = L"TQ9RecordsNote";
// A thread's answer is waiting: the line's rows, or the export's end.
constexpr UINT kLineRead = WM_APP + 1;
constexpr UINT kExportDone = WM_APP + 2;
constexpr UINT_PTR kNoteTimer = 1;
constexpr UINT kNoteAfterMs = 300;  // a quick export shows no note

// An edit control breaks lines at CR LF only.
std::wstring EditText(const std::string& text) {
    std::string shown;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) shown += '\r';
        shown += text[i];
    }
    return Widen(shown);
}

// The note goes when the export ends, not before: a close box a window manager draws on it
// closes nothing.
LRESULT CALLBACK NoteProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return message == WM_CLOSE ? 0 : DefWindowProcW(hwnd, message, wParam, lParam);
}

void RegisterClasses(WNDPROC proc) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kRecordsWindowClass;
    RegisterClassExW(&wc);  // a second window in the same process finds it registered
    wc.lpfnWndProc = &NoteProc;
    wc.lpszClassName = kNoteClassName;
    RegisterClassExW(&wc);
}
}  // namespace

struct RecordsWindow::LineAnswer {
    int reading = 0;
    RecordsRead read;
    std::atomic<bool> ready{false};
};

struct RecordsWindow::ExportJob {
    std::string path;
    std::string whyNot;
    std::atomic<bool> done{false};
};

RecordsWindow::RecordsWindow(HWND owner, RecordStore& store, std::string lineReader)
    : rules_(store, std::move(lineReader), *this) {
    RegisterClasses(&RecordsWindow::WindowProc);
    hwnd_ = CreateWindowExW(WS_EX_CONTROLPARENT, kRecordsWindowClass, Widen(kRecordsTitle).c_str(),
                            WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr, GetModuleHandleW(nullptr),
                            nullptr);
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    dpi_ = DpiOf(hwnd_);
    CreateFonts();
    CreateControls();
    PlaceAtStart(owner);
    Layout();
    lastFocus_ = Child(kRecordsList);  // the arrows walk the rows and their detail
}

RecordsWindow::~RecordsWindow() {
    if (hwnd_ && IsWindow(hwnd_)) {
        SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
        DestroyWindow(hwnd_);
    }
    for (HFONT font : {font_, fixedFont_}) {
        if (font) DeleteObject(font);
    }
}

void RecordsWindow::Present() {
    rules_.Refresh(Fields());
    ShowWindow(hwnd_, IsIconic(hwnd_) ? SW_RESTORE : SW_SHOW);
    SetForegroundWindow(hwnd_);
}

bool RecordsWindow::IsDialogKey(MSG& msg) {
    if (!hwnd_ || !(msg.hwnd == hwnd_ || IsChild(hwnd_, msg.hwnd))) return false;
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_RETURN) {
        switch (GetDlgCtrlID(msg.hwnd)) {
            case kRecordsSerial:
            case kRecordsSince:
            case kRecordsUntil:
            case kRecordsBench:
                rules_.Refresh(Fields());
                return true;
            default:
                break;
        }
    }
    return IsDialogMessageW(hwnd_, &msg) != FALSE;
}

LRESULT CALLBACK RecordsWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<RecordsWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    return self ? self->OnMessage(message, wParam, lParam)
                : DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT RecordsWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            Command(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
            return 0;
        case WM_NOTIFY:
            return Notify(*reinterpret_cast<const NMHDR*>(lParam));
        case WM_CTLCOLORSTATIC: {
            HDC dc = reinterpret_cast<HDC>(wParam);
            const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lParam));
            if (id == kRecordsDetail) {
                // A display to read, not a disabled field: the white of a field.
                SetBkColor(dc, GetSysColor(COLOR_WINDOW));
                return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
            }
            if (id == kRecordsCount && refused_) SetTextColor(dc, RGB(0xc0, 0, 0));
            SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        }
        case kLineRead:
            // The newest read's answer, once it is there (an older read's message finds it
            // not ready); the rules drop it when the fields were read again since.
            if (lineAnswer_ && lineAnswer_->ready) {
                const auto answer = std::move(lineAnswer_);
                rules_.LineRead(answer->reading, answer->read);
            }
            return 0;
        case kExportDone:
            ExportEnded();
            return 0;
        case WM_TIMER:
            if (wParam == kNoteTimer) {
                KillTimer(hwnd_, kNoteTimer);
                if (export_ && !export_->done) ShowExportNote();
            }
            return 0;
        case WM_SIZE:
            Layout();
            return 0;
        case WM_GETMINMAXINFO: {
            const RECT frame = FrameForClient(S(560), S(360), GetWindowLongW(hwnd_, GWL_STYLE),
                                              GetWindowLongW(hwnd_, GWL_EXSTYLE), false, dpi_);
            reinterpret_cast<MINMAXINFO*>(lParam)->ptMinTrackSize =
                POINT{frame.right - frame.left, frame.bottom - frame.top};
            return 0;
        }
        case WM_DPICHANGED: {
            dpi_ = HIWORD(wParam);
            CreateFonts();
            for (HWND child = GetWindow(hwnd_, GW_CHILD); child;
                 child = GetWindow(child, GW_HWNDNEXT)) {
                HFONT font = GetDlgCtrlID(child) == kRecordsDetail ? fixedFont_ : font_;
                SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
            }
            MoveToSuggested(hwnd_, lParam);
            Layout();
            FitColumns();
            return 0;
        }
        case WM_ACTIVATE:
            if (KeepFocus(hwnd_, wParam, lastFocus_)) return 0;
            break;
        case WM_CLOSE:
            ShowWindow(hwnd_, SW_HIDE);  // kept, filters and all, for the menu's next call
            return 0;
        case WM_NCDESTROY:
            // Gone with its owner: a thread's answer that comes now finds no window.
            hwnd_ = nullptr;
            note_ = nullptr;
            return 0;
        default:
            break;
    }
    return DefWindowProcW(hwnd_, message, wParam, lParam);
}

void RecordsWindow::Command(int id, int code, HWND control) {
    switch (id) {
        case kRecordsShow:
            if (code == BN_CLICKED) rules_.Refresh(Fields());
            break;
        case kRecordsWholeLine:
            if (code == BN_CLICKED) {
                ShowWindow(Child(kRecordsBench), Fields().wholeLine ? SW_SHOW : SW_HIDE);
                Layout();
                rules_.Refresh(Fields());
            }
            break;
        case kRecordsOperation:
        case kRecordsOutcome:
            // An entry picked in the open list, or a key that changed the closed one; a list
            // that opened and closed on the entry it had changes nothing.
            if ((code == CBN_CLOSEUP ||
                 (code == CBN_SELCHANGE && !SendMessageW(control, CB_GETDROPPEDSTATE, 0, 0))) &&
                rules_.ListsChanged(Fields()))
                rules_.Refresh(Fields());
            break;
        case kRecordsMore:
            if (code == BN_CLICKED) rules_.More(Fields());
            break;
        case kRecordsCsv:
            if (code == BN_CLICKED) Export(RecordsFormat::Csv);
            break;
        case kRecordsJson:
            if (code == BN_CLICKED) Export(RecordsFormat::Json);
            break;
        default:
            break;  // IDOK and IDCANCEL (Enter and Esc elsewhere) do nothing here
    }
}

LRESULT RecordsWindow::Notify(const NMHDR& header) {
    if (header.idFrom == kRecordsList && header.code == LVN_ITEMCHANGED) {
        const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
        if ((change.uChanged & LVIF_STATE) && (change.uNewState & LVIS_SELECTED) &&
            !(change.uOldState & LVIS_SELECTED))
            ShowDetail(change.iItem);
        return 0;
    }
    // The bench's column stays shut while the rows have no bench.
    if ((header.code == HDN_BEGINTRACKW || header.code == HDN_DIVIDERDBLCLICKW) &&
        GetParent(header.hwndFrom) == Child(kRecordsList)) {
        return !benchShown_ && reinterpret_cast<const NMHEADERW&>(header).iItem == kBenchColumn;
    }
    return DefWindowProcW(hwnd_, WM_NOTIFY, header.idFrom, reinterpret_cast<LPARAM>(&header));
}

std::string RecordsWindow::TextOf(int id) const {
    HWND window = Child(id);
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return Narrow(text);
}

RecordsFields RecordsWindow::Fields() const {
    const auto listText = [&](int id) {
        HWND list = Child(id);
        const LRESULT index = SendMessageW(list, CB_GETCURSEL, 0, 0);
        if (index == CB_ERR) return std::string(kAnyEntry);
        std::wstring text(
            static_cast<std::size_t>(SendMessageW(list, CB_GETLBTEXTLEN, index, 0)) + 1, L'\0');
        const LRESULT n =
            SendMessageW(list, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()));
        text.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        return Narrow(text);
    };
    RecordsFields fields;
    fields.serial = TextOf(kRecordsSerial);
    fields.operation = listText(kRecordsOperation);
    fields.outcome = listText(kRecordsOutcome);
    fields.since = TextOf(kRecordsSince);
    fields.until = TextOf(kRecordsUntil);
    fields.wholeLine = SendMessageW(Child(kRecordsWholeLine), BM_GETCHECK, 0, 0) == BST_CHECKED;
    fields.bench = TextOf(kRecordsBench);
    return fields;
}

void RecordsWindow::ShowPage(const RecordsPage& page) {
    benchShown_ = page.line;
    HWND list = Child(kRecordsList);
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    for (int i = 0; i < static_cast<int>(page.rows.size()); ++i) {
        const auto cells = RecordCells(page.rows[static_cast<std::size_t>(i)]);
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = i;
        for (std::size_t column = 0; column < cells.size(); ++column) {
            std::wstring text = Widen(cells[column]);
            item.iSubItem = static_cast<int>(column);
            item.pszText = text.data();
            SendMessageW(list, column ? LVM_SETITEMTEXTW : LVM_INSERTITEMW, static_cast<WPARAM>(i),
                         reinterpret_cast<LPARAM>(&item));
        }
    }
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    FitColumns();  // once the list knows whether it has a scroll bar
    InvalidateRect(list, nullptr, TRUE);
    SetWindowTextW(Child(kRecordsDetail), L"");
    if (!page.rows.empty()) {
        // The newest one's detail at once.
        ListView_SetItemState(list, 0, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        ListView_EnsureVisible(list, 0, FALSE);
    }
    refused_ = page.refused;  // WM_CTLCOLORSTATIC paints it red
    SetText(kRecordsCount, page.count);
    ShowWindow(Child(kRecordsMore), page.more ? SW_SHOW : SW_HIDE);
    Layout();  // the count's width
}

void RecordsWindow::ShowSummary(const std::string& text) {
    SetText(kRecordsSummary, text);
    Layout();  // the summary's lines
}

void RecordsWindow::ReadLineApart(int reading, const std::string& reader,
                                  const RecordFilter& filter) {
    auto answer = std::make_shared<LineAnswer>();
    answer->reading = reading;
    lineAnswer_ = answer;
    // Connecting may take seconds: the window goes on meanwhile.
    std::thread([answer, window = hwnd_, reader, filter] {
        answer->read = ReadLineRecords(reader, filter);
        answer->ready = true;
        PostMessageW(window, kLineRead, 0, 0);
    }).detach();
}

void RecordsWindow::ShowWarning(const std::string& text) {
    MessageBoxW(hwnd_, Widen(text).c_str(), Widen(kRecordsTitle).c_str(), MB_OK | MB_ICONWARNING);
}

void RecordsWindow::ShowDetail(int row) {
    if (const auto detail = rules_.Detail(row))
        SetWindowTextW(Child(kRecordsDetail), EditText(*detail).c_str());
}

void RecordsWindow::SetText(int id, const std::string& text) {
    SetWindowTextW(Child(id), Widen(text).c_str());
    if (id == kRecordsCount) InvalidateRect(Child(id), nullptr, TRUE);  // its colour too
}

bool RecordsWindow::AskPath(RecordsFormat format, std::string& path) {
    const RecordsSaveDialog settings = SaveDialogOf(format);
    // "CSV (*.csv)\0*.csv\0\0"
    std::wstring filter = Widen(std::string(settings.filterName) + " (" + settings.pattern + ")");
    filter.push_back(L'\0');
    filter += Widen(settings.pattern);
    filter.push_back(L'\0');
    filter.push_back(L'\0');
    const std::wstring title = Widen(settings.title);
    const std::wstring extension = Widen(std::string(settings.pattern).substr(2));
    std::wstring chosen = Widen(settings.fileName);
    chosen.resize(32768, L'\0');
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = hwnd_;
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = chosen.data();
    dialog.nMaxFile = static_cast<DWORD>(chosen.size());
    dialog.lpstrTitle = title.c_str();
    dialog.lpstrDefExt = extension.c_str();
    dialog.Flags =
        OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_EXPLORER;
    if (!GetSaveFileNameW(&dialog)) return false;
    chosen.resize(wcslen(chosen.c_str()));
    path = Narrow(chosen);
    return true;
}

void RecordsWindow::Export(RecordsFormat format) {
    if (export_ || rules_.ExportRefused()) return;  // its buttons are off until it ends
    std::string path;
    if (!AskPath(format, path)) return;
    auto job = std::make_shared<ExportJob>();
    job->path = path;
    export_ = job;
    for (int id : {kRecordsCsv, kRecordsJson})
        EnableWindow(Child(id), FALSE);
    // Read, made and written on a thread of its own (100 000 rows take seconds), while both
    // windows keep painting; the filter is the one the list shows.
    std::thread([job, window = hwnd_, task = rules_.ExportTask(path, format)] {
        job->whyNot = task();
        job->done = true;
        PostMessageW(window, kExportDone, 0, 0);
    }).detach();
    SetTimer(hwnd_, kNoteTimer, kNoteAfterMs, nullptr);
}

void RecordsWindow::ShowExportNote() {
    const std::string said = ExportingText(export_->path);
    const int width = std::min(TextWidth(said) + S(32), S(600)), height = S(40);
    const DWORD style = WS_POPUP | WS_CAPTION | WS_BORDER;
    const RECT frame = FrameForClient(width, height, style, WS_EX_TOOLWINDOW, false, dpi_);
    RECT over{};
    GetWindowRect(hwnd_, &over);
    const int frameWidth = frame.right - frame.left, frameHeight = frame.bottom - frame.top;
    note_ = CreateWindowExW(WS_EX_TOOLWINDOW, kNoteClassName, Widen(kRecordsTitle).c_str(), style,
                            (over.left + over.right - frameWidth) / 2,
                            (over.top + over.bottom - frameHeight) / 2, frameWidth, frameHeight,
                            hwnd_, nullptr, GetModuleHandleW(nullptr), nullptr);
    HWND label = CreateWindowExW(
        0, WC_STATICW, Widen(said).c_str(),
        WS_CHILD | WS_VISIBLE | SS_CENTER | SS_CENTERIMAGE | SS_NOPREFIX | SS_PATHELLIPSIS, S(8), 0,
        width - S(16), height, note_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kRecordsExportNote)),
        GetModuleHandleW(nullptr), nullptr);
    SendMessageW(label, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
    ShowWindow(note_, SW_SHOWNOACTIVATE);
    UpdateWindow(note_);
}

void RecordsWindow::ExportEnded() {
    if (!export_ || !export_->done) return;
    const auto job = std::move(export_);
    KillTimer(hwnd_, kNoteTimer);
    if (note_) DestroyWindow(note_);
    note_ = nullptr;
    for (int id : {kRecordsCsv, kRecordsJson})
        EnableWindow(Child(id), TRUE);
    rules_.ExportEnded(job->path, job->whyNot);
}

}  // namespace tq9
