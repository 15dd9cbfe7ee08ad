#pragma once
// The windows' control identifiers: what GetDlgItem finds, for the window's own code and for
// the programs that drive it from outside (the window tests).

namespace tq9::win32 {

// The board records window's class: its title is its message boxes' title too.
inline constexpr const wchar_t* kRecordsWindowClass = L"TQ9Records";

enum ControlId : int {
    // Main window. 1 and 2 stay free: IsDialogMessage sends them for Enter and Esc.
    kBtnRescan = 101,
    kBtnClose,
    kDeviceView,
    kBoardGroup,
    kBtnCancel,
    kBusyLabel,
    kLEDbusy,
    kSerialLabel,
    kEditSerialNumber,
    kFpgaLabel,
    kFPGAversion,
    kFirmwareLabel,
    kEditFirmwareVersion,
    kScanCoreLabel,
    kComboBoxScanDetected,
    kBtnRefresh,
    kBtnFPGAprog,
    kBtnFinalize,
    kProductionGroup,
    kFirmwareTypeLabel,
    kdd_FirmwareType,
    kProdProg,
    kBtnAVRonly,
    kDiamexLabel,
    kEditDiamex,
    kUsingDeviceLabel,
    kFtdiDeviceLabel,
    kEditFTDIdevice,
    kFtdiComLabel,
    kEditFTDIcom,
    kTestGroup,
    kButtonUpStream,
    kIncRegLabel,
    kEditCoreNumber,
    kScanCoreNote,
    kProgressBar1,
    kTestPortLabel,
    kComboBox1,
    kConsoleHeading,
    kMemo1,
    kStatusBar,
    kRecordsMenuItem,
    kColumnScroll,  // the left column's scroll bar, shown when the window is too low for it

    // Device selection dialog. OK is IDOK so Enter takes it; Cancel is not IDCANCEL, so
    // Esc (which sends IDCANCEL) does nothing.
    kOKButton = 1,
    kDialogLabel1 = 1001,
    kListView1,
    kCancelButton,

    // Program output window.
    kOutputText = 1101,
    kOutputClose,

    // Board records window, in the Tab order.
    kRecordsSerialLabel = 1201,
    kRecordsSerial,
    kRecordsOperationLabel,
    kRecordsOperation,
    kRecordsOutcomeLabel,
    kRecordsOutcome,
    kRecordsSince,
    kRecordsUntil,
    kRecordsWholeLine,
    kRecordsBench,
    kRecordsShow,
    kRecordsList,
    kRecordsDetail,
    kRecordsCount,  // "100 of 2345 rows", or why a date is refused
    kRecordsMore,
    kRecordsSummary,
    kRecordsCsv,
    kRecordsJson,
    kRecordsExportNote,  // the text of the note shown while a long export goes on
};

}  // namespace tq9::win32
