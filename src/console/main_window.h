#pragma once

#include <cstdint>
#include <functional>

#include <QFont>
#include <QRect>
#include <QTimer>

#include "console/refresh_thread.h"
#include "console/template_dialog.h"
#include "control/control_options.h"
#include "log/event_log.h"
#include "log/log_line.h"

// Starts RefreshThread for the window: 0, or the system's error number. Tests put in their own.
using RefreshThreadStarter = std::function<int(RefreshThreadRun* run)>;

// The operator console, from template 1. It only reacts: to the operator's commands, to log lines
// and to RefreshThread. Closing is a hand-shake: the close request only signals ExitEvent;
// RefreshThread stops the server, waits for the stop and then ends the window through
// CloseConsole, so the log lines of the stop still reach the list.
//
// Worker threads never touch a widget: they call TakeMessage and the RefreshTarget calls, which run
// on the window thread and return once it has handled them. The window thread serves them also
// while a dialog or message box is open, and never waits for a worker itself.
class MainWindow : public TemplateDialog, public LogTarget, public LogView, public RefreshTarget {
    Q_OBJECT

public:
    // With control.httpEnabled the window starts the control interface as it opens, before the
    // server; RefreshThread stops it before it stops the server.
    explicit MainWindow(RefreshThreadStarter startRefreshThread = StartRefreshThread,
                        const ControlOptions& control = ControlOptions());
    ~MainWindow() override;

    // LogTarget: any thread; the line is in the list when this returns.
    void TakeMessage(const char* message) override;

    // LogView over the event log list 1011, on the window thread.
    void AddLine(const char* line) override;
    int LineCount() override;
    void DeleteFirstLine() override;

    // RefreshTarget: each is one blocking call onto the window thread.
    ViewState ReadViewState() override;
    void ShowRefresh(const RefreshTexts& texts) override;
    void CloseConsole() override;

    // The grid (window thread).
    DataTable ShownTable() const;
    // The shown table's format: chosen per register table for the run; the bit tables' is plain.
    ValueFormat ShownFormat() const;
    int ViewedSlot() const;
    void SetViewPosition(int32_t value);
    void ScrollDataGrid(int request, int thumbPosition);

protected:
    void OnCommand(int controlId) override;
    void closeEvent(QCloseEvent* event) override;
    // The wheel over the grid's cells, row labels and the gaps between them scrolls the grid a row
    // per notch, through the same requests as the scroll bar's arrows.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void InitMainWindow();
    void StartControlInterface();
    void OpenDialog(int controlId);
    void SwitchTable(DataTable table);
    void GoTo();
    void CloseWithoutRefreshThread();
    void TurnWheelOverGrid(int angle);
    void RunOnWindowThread(const std::function<void()>& call);
    void ChooseFormat();
    void ShowFormatControls();
    void LayOutGridCells(const RefreshTexts& texts);
    void SetGridCellText(int cell, const char* text, bool mayElide);

    RefreshThreadStarter startRefreshThread;
    ControlOptions control;
    ThreadGroup refreshThreads;   // RefreshThread, until its last act
    RefreshThreadRun refreshRun{this, &refreshThreads};
    bool refreshThreadStarted = false;
    bool closedByRefreshThread = false;   // window thread only: RefreshThread's CloseConsole ran
    // Window thread only: the log list was scrolled to its end, by the operator or by new lines,
    // so new lines keep it there; once the operator scrolls up it stays on the lines shown.
    bool logFollowsEnd = true;
    int wheelAngle = 0;   // turned over the grid and not yet a whole notch (fine-grained wheels)
    QTimer stopPoll;   // closing without RefreshThread: waits for the server's stop without blocking
    // Window thread only: each table's format, and the grid cells' layout as the template places
    // them and as the last refresh laid them out for its format.
    ValueFormat tableFormats[kDataTableCount] = {kPlainFormat, kPlainFormat, kPlainFormat, kPlainFormat};
    QRect templateCellGeometry[kGridCells];
    int8_t laidOutSpan[kGridCells];
    bool laidOutTwoLines = false;
    QFont twoLineFont;
};
