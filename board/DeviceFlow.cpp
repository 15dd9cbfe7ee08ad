#include "board/DeviceFlow.h"

#include "link/tq9_com.h"

namespace tq9 {

namespace {
// The board buttons and Close belong to an open link; Device to none.
void ShowLinkButtons(BoardContext& ctx, bool open) {
    Host& host = ctx.host;
    for (Control c : {Control::BtnRefresh, Control::BtnFPGAprog, Control::BtnFinalize}) {
        host.SetControlEnabled(c, open);
    }
    host.SetControlVisible(Control::BtnClose, open);
    host.SetControlVisible(Control::BtnRescan, !open);
}

// Once per run, so the operator can tell which driver reached the cable (a broken FTDI
// library passed over for another looks the same on screen otherwise).
void ReportDriverInUse(BoardContext& ctx) {
    if (ctx.DriverInUse.empty()) return;
    ctx.ConsoleAdd(ctx.DriverInUse);
    ctx.DriverInUse.clear();
}

// A cable the operator picked that would not open: which one, what the driver said, and
// what to do about it, instead of a console that stops at "Open FTDI device...".
void ReportRefusedCable(BoardContext& ctx, const std::string& status) {
    const TBoardLink& link = ctx.BoardLink;
    const std::int32_t i = link.selectedIndex;
    const bool listed = i >= 0 && i < kMaxDevices;
    std::string why = status.rfind("### ERROR: ", 0) == 0 ? status.substr(11) : status;
    if (!link.openRefusal.empty()) why += " (driver: " + link.openRefusal + ")";
    ctx.ConsoleAdd("##### Error: FTDI device #" + std::to_string(i) +
                   (listed ? " " + link.serials[i] + " - " + link.descriptions[i] : "") +
                   " could not be opened: " + why);
    if (link.openRefusal == "FT_DEVICE_NOT_FOUND") {
        ctx.ConsoleAdd(
            "It was unplugged after the list was made: plug it in and press Device "
            "again.");
    } else {
        ctx.ConsoleAdd(
            "Another program may hold it (a terminal program, another window of this "
            "tool, or tq9ctl): close it, or unplug the cable and plug it in again, "
            "then press Device again.");
    }
}
}  // namespace

void EnableBoardButtons(BoardContext& ctx) {
    ShowLinkButtons(ctx, true);
}

void DisableBoardButtons(BoardContext& ctx) {
    ShowLinkButtons(ctx, false);
}

void BtnRescanClick(BoardContext& ctx) {
    Host& host = ctx.host;
    TBoardLink& link = ctx.BoardLink;
    std::string status;

    ctx.CancelRequested = 0;
    // Whichever cable this flow opens, if any, the board read before is not on it.
    ForgetBoard(ctx);
    ctx.ConsoleAdd("Open FTDI device...");
    ctx.BusyPulse();
    SnapshotComPorts(link);
    host.DeviceDialogClear();
    BuildDeviceList(link, status);
    if (link.deviceCount == 0) {
        ReportDriverInUse(ctx);
        ctx.PlayDing();
        std::string text = kNoCableFound;
        // Say why when there is no driver to ask, or a cable could not be read, instead of
        // only "nothing found".
        const std::string notes = ctx.DriverNotes ? ctx.DriverNotes() : std::string();
        if (!ctx.DriverLoadFailure.empty()) {
            text += "\r\r" + ctx.DriverLoadFailure;
        } else if (!notes.empty()) {
            text += "\r\r" + notes;
        }
        ctx.ShowMessage(MessageKind::Information, text);
        return;
    }
    for (std::uint32_t i = 0; i < link.deviceCount; ++i) {
        host.DeviceDialogAddRow("Device " + std::to_string(i), link.serials[i],
                                link.descriptions[i]);
    }
    host.DeviceDialogSelectRow(0);
    int row = -1;
    if (!host.DeviceDialogShow(row)) return;

    link.selectedIndex = row;
    OpenDeviceByIndex(link, link.selectedIndex, status);
    if (!link.connected) {
        ReportRefusedCable(ctx, status);
        // A cable this user may not open is explained at length too.
        const std::string notes = ctx.DriverNotes ? ctx.DriverNotes() : std::string();
        if (!notes.empty()) ctx.ShowMessage(MessageKind::Warning, notes);
        return;
    }

    ctx.console.Clear();
    host.SetFieldText(Field::EditFTDIdevice, std::to_string(link.selectedIndex));
    DetectComNumber(link);
    const std::string com = std::to_string(link.comNumber);
    ctx.ConsoleAdd("Using FTDI Device #" + std::to_string(link.selectedIndex) + " on COM port #" +
                   com);
    ReportDriverInUse(ctx);
    ctx.ConsoleAdd("");
    host.SetFieldText(Field::DeviceView, link.serials[link.selectedIndex] + " - " +
                                             link.descriptions[link.selectedIndex] + " on COM" +
                                             com);
    host.SetFieldText(Field::EditFTDIcom, com);

    if (CheckBoardReady(ctx)) {
        try {
            ReadBoardInfo(ctx, true);
            PrintBoardSummary(ctx);
        } catch (...) {
            // The link is open and the board answered: show the buttons that belong to an
            // open link, so the operator can close it, before the error box reports why.
            EnableBoardButtons(ctx);
            throw;
        }
        ctx.BusyPulse();
        EnableBoardButtons(ctx);
    } else {
        ctx.PlayDing();
        ctx.ConsoleAdd("No response from TQ9 serial port driver!");
        ctx.ConsoleAdd("TQ9 Board might be new or empty. Otherwise, ");
        ctx.ConsoleAdd("try unplugging USB cable from PC and reconnect.");
        BtnCloseClick(ctx);
    }
}

void BtnCloseClick(BoardContext& ctx) {
    ctx.CancelRequested = 0;
    CloseLink(ctx.BoardLink);
    ctx.host.SetFieldText(Field::DeviceView, kNotSelected);
    ctx.ConsoleAdd("Closed FTDI device. Ready to unplug USB cable from PC.");
    ctx.ConsoleAdd("");
    DisableBoardButtons(ctx);
}

}  // namespace tq9
