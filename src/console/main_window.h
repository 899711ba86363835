#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

#include <QTimer>

#include "console/refresh_texts.h"
#include "console/template_dialog.h"
#include "log/event_log.h"
#include "log/log_line.h"

class MainWindow;

// Starts RefreshThread for the window; on failure answers false with the system's error number.
using RefreshThreadStarter = std::function<bool(std::thread* thread, MainWindow* window, int* errorNumber)>;
bool StartRefreshThread(std::thread* thread, MainWindow* window, int* errorNumber);

// What the refresh thread reads from the window's controls at the start of a cycle.
struct ViewState {
    int viewedSlot;        // the checked View button 1222 + k, or -1
    bool registersShown;   // radio 1232 checked
};

// The operator console, from template 1. It only reacts: to the operator's commands, to log lines
// and to RefreshThread. Closing is a hand-shake: the close request only signals ExitEvent;
// RefreshThread stops the server, waits for the stop and then ends the window through
// CloseConsole, so the log lines of the stop still reach the list.
//
// Worker threads never touch a widget: they call TakeMessage, ReadViewState, ShowRefresh and
// CloseConsole, which run on the window thread and return once it has handled them. The window
// thread serves them also while a dialog or message box is open.
class MainWindow : public TemplateDialog, public LogTarget, public LogView {
    Q_OBJECT

public:
    explicit MainWindow(RefreshThreadStarter startRefreshThread = StartRefreshThread);
    ~MainWindow() override;

    // LogTarget: any thread; the line is in the list when this returns.
    void TakeMessage(const char* message) override;

    // LogView over the event log list 1011, on the window thread.
    void AddLine(const char* line) override;
    int LineCount() override;
    void DeleteFirstLine() override;

    // For RefreshThread: each is one blocking call onto the window thread.
    ViewState ReadViewState();
    void ShowRefresh(const RefreshTexts& texts);
    void CloseConsole();
    // RefreshThread's last act, so that a window destroyed early knows when to join it.
    void NoteRefreshThreadEnded();

    // The grid (window thread).
    bool RegistersShown() const;
    int ViewedSlot() const;
    void SetViewPosition(int32_t value);
    void ScrollDataGrid(int request, int thumbPosition);

protected:
    void OnCommand(int controlId) override;   // OnMainCommand
    void closeEvent(QCloseEvent* event) override;

private:
    void InitMainWindow();
    void OpenDialog(int controlId);
    void SwitchTable(int controlId);
    void GoTo();
    void CloseWithoutRefreshThread();
    void RunOnWindowThread(const std::function<void()>& call);

    RefreshThreadStarter startRefreshThread;
    std::thread refreshThread;
    bool refreshThreadStarted = false;
    std::atomic<bool> refreshThreadEnded{false};
    QTimer stopPoll;   // closing without RefreshThread: waits for the server's stop without blocking
};

// RefreshThread: every 200 ms, from the end of one cycle to the start of the next, refreshes the
// connection monitor and the grid and keeps the Start/Stop caption in step with the server; once
// ExitEvent is signalled it stops the server, waits for the stop and ends the window.
void RefreshThread(MainWindow* window);

inline constexpr int kRefreshPeriodMilliseconds = 200;
