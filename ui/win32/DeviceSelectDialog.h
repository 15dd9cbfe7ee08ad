#pragma once
// The device selection dialog: the attached FTDI devices in a list, the first row
// selected; the operator confirms a row. One instance for the whole run, hidden between
// uses, its rows kept until the next selection clears them.

#include <windows.h>

#include <string>

namespace tq9 {

class Tdeviceselectbox {
  public:
    static constexpr int mrOk = 1;
    static constexpr int mrCancel = 2;

    // Made hidden, owned by the main window.
    explicit Tdeviceselectbox(HWND owner);
    ~Tdeviceselectbox();
    Tdeviceselectbox(const Tdeviceselectbox&) = delete;
    Tdeviceselectbox& operator=(const Tdeviceselectbox&) = delete;

    HWND Handle() const { return hwnd_; }
    void ClearRows();
    void AddRow(const std::string& caption, const std::string& serial,
                const std::string& description);
    void SelectRow(int row);
    // The selected row's position, or -1 when no row is selected.
    int SelectedRow() const;
    // Shows the dialog modally (the owner disabled meanwhile); mrOk or mrCancel.
    int ShowModal();

    void OKButtonClick();
    void CancelButtonClick();
    void ListView1DblClick();

  private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls();
    void SetResult(int result);

    HWND owner_ = nullptr;
    HWND hwnd_ = nullptr;
    HWND list_ = nullptr;
    HFONT dialogFont_ = nullptr, labelFont_ = nullptr, listFont_ = nullptr;
    int result_ = 0;  // 0 while shown
};

}  // namespace tq9
