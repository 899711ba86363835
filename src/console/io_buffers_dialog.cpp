#include "console/io_buffers_dialog.h"

#include <QPlainTextEdit>

#include "console/console_font.h"
#include "console/hex_dump.h"
#include "console/main_window.h"
#include "server/slot_table.h"

namespace {

constexpr int kRequestBox = 1241;
constexpr int kResponseBox = 1242;
constexpr int kRefreshButton = 1244;

}  // namespace

IoBuffersDialog::IoBuffersDialog(MainWindow* owner) : TemplateDialog(kIoBuffersTemplate, owner), owner(owner)
{
    if (ConsoleFont != nullptr) {
        Control(kRequestBox)->setFont(*ConsoleFont);
        Control(kResponseBox)->setFont(*ConsoleFont);
    }
    FillIoBuffers();
    Control(kCancelCommand)->setFocus();
}

void IoBuffersDialog::OnCommand(int controlId)
{
    if (controlId == kRefreshButton) {
        FillIoBuffers();
    } else if (controlId == kCancelCommand) {
        done(kCancelCommand);
    }
}

void IoBuffersDialog::FillIoBuffers()
{
    const int slot = owner->ViewedSlot();
    if (slot < 0) {
        return;
    }
    SlotSnapshot snapshot;
    SnapshotSlot(slot, &snapshot);
    if (snapshot.clientSocket == kNoSocket) {
        return;   // a free slot leaves the boxes as they are
    }
    char dump[kHexDumpBufferSize];
    FormatHexDump(snapshot.lastRequest, snapshot.lastRequestLength, dump);
    ControlOf<QPlainTextEdit>(kRequestBox)->setPlainText(QString::fromLatin1(dump));
    FormatHexDump(snapshot.lastResponse, snapshot.lastResponseLength, dump);
    ControlOf<QPlainTextEdit>(kResponseBox)->setPlainText(QString::fromLatin1(dump));
}
