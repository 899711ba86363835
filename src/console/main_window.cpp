#include "console/main_window.h"

#include <algorithm>

#include <QAbstractSlider>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QThread>
#include <QTreeWidget>
#include <QWheelEvent>

#include "console/about_dialog.h"
#include "console/capture_button.h"
#include "console/configure_areas_dialog.h"
#include "console/console_font.h"
#include "console/console_resources.h"
#include "console/dialog_number.h"
#include "console/edit_values_dialog.h"
#include "console/exit_event.h"
#include "console/faults_dialog.h"
#include "console/generators_dialog.h"
#include "console/io_buffers_dialog.h"
#include "console/start_stop_button.h"
#include "console/view_position.h"
#include "control/control_server.h"
#include "faults/fault_rules.h"
#include "generators/generators.h"
#include "server/server_control.h"

namespace {

constexpr int kStartStopButton = 1002;
constexpr int kEventLogList = 1011;
constexpr int kFirstSocketLabel = 1901;
constexpr int kFirstPeerLabel = 2001;
constexpr int kFirstViewButton = 1222;
constexpr int kRequestDumpBox = 1226;
constexpr int kResponseDumpBox = 1228;
// The table buttons, by DataTable.
constexpr int kTableButtons[kDataTableCount] = {1233, 1229, 1230, 1232};
constexpr int kFirstRowLabel = 1300;
constexpr int kFirstGridCell = 1179;
constexpr int kGridScrollBar = 1221;
constexpr int kEditValuesButton = 1209;
constexpr int kConfigureAreasButton = 1213;
constexpr int kGoToButton = 1239;
constexpr int kGoToBox = 1240;
constexpr int kIoBuffersButton = 1242;
constexpr int kCaptureButton = 1243;
constexpr int kAboutButton = 1231;
constexpr int kFaultsButton = 1245;
constexpr int kGeneratorsButton = 1246;
constexpr int kFormatList = 1260;
constexpr int kOrderList = 1261;

constexpr int kStopPollMilliseconds = 20;
constexpr int kWheelNotch = 120;   // angle of one notch of a mouse wheel, in eighths of a degree
// Binary cells show two lines of eight digits in a smaller face, to stay within a row's height.
constexpr qreal kTwoLinePointSize = 7;
// A spanning value's frame, grown above and below the cell so that it does not cut into the text.
constexpr const char* kFramedValueStyle = "QLabel { border: 1px solid palette(mid); padding: 0 2px; }";
constexpr int kFramedValueGrowth = 3;

// The scroll bar's actions as the grid's scroll requests.
int ScrollRequestOf(int sliderAction)
{
    switch (sliderAction) {
    case QAbstractSlider::SliderSingleStepSub:
        return kScrollLineUp;
    case QAbstractSlider::SliderSingleStepAdd:
        return kScrollLineDown;
    case QAbstractSlider::SliderPageStepSub:
        return kScrollPageUp;
    case QAbstractSlider::SliderPageStepAdd:
        return kScrollPageDown;
    case QAbstractSlider::SliderMove:
        return kScrollThumbTrack;
    case QAbstractSlider::SliderToMinimum:
        return kScrollTop;
    case QAbstractSlider::SliderToMaximum:
        return kScrollBottom;
    default:
        return kScrollEnd;
    }
}

void SetLabelText(QLabel* label, const char* text)
{
    if (label != nullptr) {
        label->setText(QString::fromLatin1(text));   // unchanged text costs nothing: QLabel compares
    }
}

// A dump box shows the start of its dump, like an edit whose text was just set.
void SetDumpText(QLineEdit* edit, const char* text)
{
    const QString newText = QString::fromLatin1(text);
    if (edit != nullptr && edit->text() != newText) {
        edit->setText(newText);
        edit->setCursorPosition(0);
    }
}

}  // namespace

MainWindow::MainWindow(RefreshThreadStarter startRefreshThread, const ControlOptions& control)
    : TemplateDialog(kMainWindowTemplate, nullptr), startRefreshThread(std::move(startRefreshThread)), control(control)
{
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    auto* scrollBar = ControlOf<QScrollBar>(kGridScrollBar);
    connect(scrollBar, &QAbstractSlider::actionTriggered, this, [this, scrollBar](int action) {
        ScrollDataGrid(ScrollRequestOf(action), scrollBar->sliderPosition());
        // The thumb always shows the selected table's start, also after a request that was ignored.
        const int32_t start = ViewStartOf(ShownTable()).load(std::memory_order_relaxed);
        const QSignalBlocker blocker(scrollBar);
        scrollBar->setSliderPosition(start / kGridLineStep);
    });
    QScrollBar* logBar = ControlOf<QTreeWidget>(kEventLogList)->verticalScrollBar();
    connect(logBar, &QAbstractSlider::valueChanged, this,
            [this, logBar](int value) { logFollowsEnd = value >= logBar->maximum(); });
    for (int row = 0; row < kGridRows; ++row) {
        Control(kFirstRowLabel + row)->installEventFilter(this);
    }
    for (int i = 0; i < kGridCells; ++i) {
        Control(kFirstGridCell + i)->installEventFilter(this);
        templateCellGeometry[i] = Control(kFirstGridCell + i)->geometry();
        laidOutSpan[i] = 1;
    }
    twoLineFont = Control(kFirstGridCell)->font();
    twoLineFont.setPointSizeF(kTwoLinePointSize);
    auto* formatList = ControlOf<QComboBox>(kFormatList);
    for (int kind = 0; kind < kValueTextKindCount; ++kind) {
        formatList->addItem(QString::fromLatin1(ValueTextKindName(static_cast<ValueTextKind>(kind))));
    }
    auto* orderList = ControlOf<QComboBox>(kOrderList);
    for (ValueOrder order : {ValueOrder::kAbcd, ValueOrder::kCdab, ValueOrder::kBadc, ValueOrder::kDcba}) {
        orderList->addItem(QString::fromLatin1(ValueOrderName(order)));
    }
    formatList->setToolTip(QStringLiteral("How the grid shows and Edit Values reads this table's registers"));
    orderList->setToolTip(QStringLiteral("Byte order of 32- and 64-bit values (ABCD: big-endian)"));
    connect(formatList, &QComboBox::currentIndexChanged, this, [this] { ChooseFormat(); });
    connect(orderList, &QComboBox::currentIndexChanged, this, [this] { ChooseFormat(); });
    stopPoll.setInterval(kStopPollMilliseconds);
    connect(&stopPoll, &QTimer::timeout, this, [this] {
        if (!IsServerRunning()) {
            stopPoll.stop();
            done(0);
        }
    });
    InitMainWindow();
}

MainWindow::~MainWindow()
{
    // Normally RefreshThread has ended the window and has nothing left to do but leave its group.
    // If the window goes first, end the thread the orderly way, serving its calls (and the
    // server's log lines) meanwhile.
    if (refreshThreadStarted) {
        if (!closedByRefreshThread) {
            SignalExitEvent();
            while (!closedByRefreshThread) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
                QThread::msleep(2);
            }
        }
        WaitThreadGroupEmpty(&refreshThreads);
    }
    // The server has stopped by now, so nobody logs any more; a later line finds no target
    // instead of a window that is gone.
    SetLogTarget(nullptr);
}

void MainWindow::InitMainWindow()
{
    setWindowIcon(ParvaneIcon());
    SetLogTarget(this);
    LogFaultRules();
    LogGenerators();
    ControlOf<QPushButton>(kFirstViewButton)->setChecked(true);
    ControlOf<QPushButton>(kTableButtons[static_cast<int>(DataTable::HoldingRegisters)])->setChecked(true);
    ShowFormatControls();
    auto* scrollBar = ControlOf<QScrollBar>(kGridScrollBar);
    scrollBar->setRange(0, kHighestScrollPosition);
    scrollBar->setSingleStep(1);
    scrollBar->setPageStep(kGridPageStep / kGridLineStep);
    if (ConsoleFont != nullptr) {
        Control(kRequestDumpBox)->setFont(*ConsoleFont);
        Control(kResponseDumpBox)->setFont(*ConsoleFont);
    }

    const int errorNumber = startRefreshThread(&refreshRun);
    refreshThreadStarted = errorNumber == 0;
    if (!refreshThreadStarted) {
        LogSystemError("Unable to create console refresh thread", errorNumber);
    } else {
        // Only with RefreshThread, which stops the interface before the server at the end: its
        // requests may log, so the window thread must never wait for them.
        StartControlInterface();
        StartServer();
    }
    Control(kStartStopButton)->setFocus();
}

void MainWindow::StartControlInterface()
{
    std::string problem;
    switch (StartControlServer(control, &problem)) {
    case ControlStart::kStarted:
    case ControlStart::kNotAsked:
        break;
    case ControlStart::kTokenRefused:
    case ControlStart::kFailed:
        // The console goes on without it.
        LogEvent("ERROR: %s", problem.c_str());
        break;
    }
}

void MainWindow::TakeMessage(const char* message)
{
    RunOnWindowThread([this, message] { AppendLogLine(this, message); });
}

void MainWindow::AddLine(const char* line)
{
    const QString text = QString::fromLocal8Bit(line);
    const qsizetype tab = text.indexOf(QLatin1Char('\t'));
    auto* item = new QTreeWidgetItem;
    item->setText(0, tab < 0 ? text : text.left(tab));
    if (tab >= 0) {
        item->setText(1, text.mid(tab + 1));
    }
    auto* list = ControlOf<QTreeWidget>(kEventLogList);
    list->addTopLevelItem(item);
    if (logFollowsEnd) {
        list->scrollToBottom();
    }
}

int MainWindow::LineCount()
{
    return ControlOf<QTreeWidget>(kEventLogList)->topLevelItemCount();
}

void MainWindow::DeleteFirstLine()
{
    auto* list = ControlOf<QTreeWidget>(kEventLogList);
    delete list->takeTopLevelItem(0);
    QScrollBar* bar = list->verticalScrollBar();
    if (logFollowsEnd) {
        list->scrollToBottom();
    } else if (bar->value() > 0) {
        bar->setValue(bar->value() - 1);   // the lines the operator looks at moved up by one
    }
}

ViewState MainWindow::ReadViewState()
{
    ViewState state{-1, DataTable::HoldingRegisters};
    RunOnWindowThread([this, &state] { state = ViewState{ViewedSlot(), ShownTable(), ShownFormat()}; });
    return state;
}

void MainWindow::ShowRefresh(const RefreshTexts& texts)
{
    RunOnWindowThread([this, &texts] {
        for (int i = 0; i < kSlotCount; ++i) {
            SetLabelText(ControlOf<QLabel>(kFirstSocketLabel + i), texts.socketText[i]);
            SetLabelText(ControlOf<QLabel>(kFirstPeerLabel + i), texts.peerText[i]);
        }
        if (texts.monitorShown) {
            for (int k = 0; k < kStatisticsCount; ++k) {
                SetLabelText(ControlOf<QLabel>(kStatisticsControls[k]), texts.statistics[k]);
            }
            SetDumpText(ControlOf<QLineEdit>(kRequestDumpBox), texts.requestDump);
            SetDumpText(ControlOf<QLineEdit>(kResponseDumpBox), texts.responseDump);
        }
        for (int row = 0; row < kGridRows; ++row) {
            SetLabelText(ControlOf<QLabel>(kFirstRowLabel + row), texts.rowLabel[row]);
        }
        LayOutGridCells(texts);
        for (int i = 0; i < kGridCells; ++i) {
            SetGridCellText(i, texts.cell[i], texts.cellSpan[i] > 1);
        }
        // A capture also starts and ends through the control interface.
        ControlOf<QPushButton>(kCaptureButton)->setText(CaptureCaption());
        if (texts.caption == CaptionChange::ShowRunning) {
            ControlOf<QPushButton>(kStartStopButton)->setText(QStringLiteral("&Stop Server"));
            // Port 0 gets a port of the system's choosing at each start.
            if (const uint16_t port = ListeningPort(); port != 0) {
                setWindowTitle(QStringLiteral("Parvane - %1:%2").arg(QString::fromLatin1(ListenAddress())).arg(port));
            }
        } else if (texts.caption == CaptionChange::ShowStopped) {
            ControlOf<QPushButton>(kStartStopButton)->setText(QStringLiteral("&Start Server"));
        }
    });
}

void MainWindow::CloseConsole()
{
    RunOnWindowThread([this] {
        // A close that came as a stop signal may find a dialog open: it ends as if cancelled,
        // so that its modal loop returns and the window can end.
        for (QDialog* dialog : findChildren<QDialog*>()) {
            if (dialog->isVisible()) {
                dialog->reject();
            }
        }
        closedByRefreshThread = true;
        done(0);
    });
}

DataTable MainWindow::ShownTable() const
{
    for (DataTable table : kDataTables) {
        if (ControlOf<QPushButton>(kTableButtons[static_cast<int>(table)])->isChecked()) {
            return table;
        }
    }
    return DataTable::HoldingRegisters;
}

ValueFormat MainWindow::ShownFormat() const
{
    const DataTable table = ShownTable();
    return HoldsBits(table) ? kPlainFormat : tableFormats[static_cast<int>(table)];
}

void MainWindow::ChooseFormat()
{
    const DataTable table = ShownTable();
    if (HoldsBits(table)) {
        return;
    }
    tableFormats[static_cast<int>(table)] =
        ValueFormat{static_cast<ValueTextKind>(ControlOf<QComboBox>(kFormatList)->currentIndex()),
                    static_cast<ValueOrder>(ControlOf<QComboBox>(kOrderList)->currentIndex())};
    ShowFormatControls();
}

void MainWindow::ShowFormatControls()
{
    const bool registers = !HoldsBits(ShownTable());
    const ValueFormat format = ShownFormat();
    auto* formatList = ControlOf<QComboBox>(kFormatList);
    auto* orderList = ControlOf<QComboBox>(kOrderList);
    const QSignalBlocker formatBlocker(formatList);
    const QSignalBlocker orderBlocker(orderList);
    formatList->setCurrentIndex(static_cast<int>(format.kind));
    orderList->setCurrentIndex(static_cast<int>(format.order));
    formatList->setEnabled(registers);
    orderList->setEnabled(registers && ValueTextUsesOrder(format.kind));
}

// A value of several registers gets one framed box over its cells in the row, so that it has the
// room of all of them, its text starting in its first cell; binary cells grow to two lines. Only
// a change of format moves anything.
void MainWindow::LayOutGridCells(const RefreshTexts& texts)
{
    if (laidOutTwoLines == texts.twoLineCells && std::equal(texts.cellSpan, texts.cellSpan + kGridCells, laidOutSpan)) {
        return;
    }
    const int twoLineHeight = 2 * QFontMetrics(twoLineFont).lineSpacing() + 2;
    for (int i = 0; i < kGridCells; ++i) {
        auto* cell = ControlOf<QLabel>(kFirstGridCell + i);
        const int span = texts.cellSpan[i];
        QRect place = templateCellGeometry[i];
        if (span > 1) {
            place.setRight(templateCellGeometry[i + span - 1].right());
            place.adjust(0, -kFramedValueGrowth, 0, kFramedValueGrowth);
        }
        if (texts.twoLineCells) {
            place.adjust(0, (place.height() - twoLineHeight) / 2, 0, 0);
            place.setHeight(twoLineHeight);
        }
        cell->setGeometry(place);
        cell->setFont(texts.twoLineCells ? twoLineFont : font());
        // The value starts at its first cell; the frame shows how far it reaches.
        cell->setStyleSheet(span > 1 ? QString::fromLatin1(kFramedValueStyle) : QString());
        cell->setAlignment((span > 1 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
        cell->setVisible(span != 0);
        laidOutSpan[i] = static_cast<int8_t>(span);
    }
    laidOutTwoLines = texts.twoLineCells;
}

// A number too long even for its box (an int64 near the end of a row) is shortened in the middle,
// and the whole of it shown as the cell's tool tip.
void MainWindow::SetGridCellText(int cell, const char* text, bool mayElide)
{
    auto* label = ControlOf<QLabel>(kFirstGridCell + cell);
    const QString whole = QString::fromLatin1(text);
    const int room = label->contentsRect().width();
    QString shown = whole;
    if (mayElide && label->fontMetrics().horizontalAdvance(whole) > room) {
        shown = label->fontMetrics().elidedText(whole, Qt::ElideMiddle, room);
    }
    label->setText(shown);
    label->setToolTip(shown == whole ? QString() : whole);
}

int MainWindow::ViewedSlot() const
{
    for (int k = 0; k < kSlotCount; ++k) {
        if (ControlOf<QPushButton>(kFirstViewButton + k)->isChecked()) {
            return k;
        }
    }
    return -1;
}

void MainWindow::SetViewPosition(int32_t value)
{
    const int position = ScrollPositionForValue(value);
    auto* scrollBar = ControlOf<QScrollBar>(kGridScrollBar);
    {
        const QSignalBlocker blocker(scrollBar);
        scrollBar->setSliderPosition(position);
    }
    ViewStartOf(ShownTable()).store(position * kGridLineStep, std::memory_order_relaxed);
}

void MainWindow::ScrollDataGrid(int request, int thumbPosition)
{
    const int32_t base = ViewStartOf(ShownTable()).load(std::memory_order_relaxed);
    int32_t value = 0;
    if (ScrollRequestValue(request, base, thumbPosition, &value)) {
        SetViewPosition(value);
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    // The grid's labels: a turn of the wheel over a cell or a row label scrolls the grid.
    if (event->type() == QEvent::Wheel) {
        TurnWheelOverGrid(static_cast<QWheelEvent*>(event)->angleDelta().y());
        return true;
    }
    return TemplateDialog::eventFilter(watched, event);
}

void MainWindow::wheelEvent(QWheelEvent* event)
{
    // Between the grid's labels the turn reaches the window itself.
    const QRect grid = Control(kFirstRowLabel)->geometry().united(Control(kFirstGridCell + kGridCells - 1)->geometry());
    if (!grid.contains(event->position().toPoint())) {
        event->ignore();
        return;
    }
    TurnWheelOverGrid(event->angleDelta().y());
    event->accept();
}

void MainWindow::TurnWheelOverGrid(int angle)
{
    wheelAngle += angle;
    for (; wheelAngle >= kWheelNotch; wheelAngle -= kWheelNotch) {
        ScrollDataGrid(kScrollLineUp, 0);
    }
    for (; wheelAngle <= -kWheelNotch; wheelAngle += kWheelNotch) {
        ScrollDataGrid(kScrollLineDown, 0);
    }
}

void MainWindow::OnCommand(int controlId)
{
    switch (controlId) {
    case kStartStopButton:
        PressStartStop();   // the caption is left to RefreshThread
        break;
    case kEditValuesButton:
    case kConfigureAreasButton:
    case kIoBuffersButton:
    case kAboutButton:
    case kFaultsButton:
    case kGeneratorsButton:
        OpenDialog(controlId);
        break;
    case kGoToButton:
        GoTo();
        break;
    case kCaptureButton:
        PressCaptureButton(this);
        ControlOf<QPushButton>(kCaptureButton)->setText(CaptureCaption());
        break;
    default:
        // The table buttons; among the others kCancelCommand (Escape): the main window does not
        // close on it.
        for (DataTable table : kDataTables) {
            if (controlId == kTableButtons[static_cast<int>(table)]) {
                SwitchTable(table);
            }
        }
        break;
    }
}

void MainWindow::OpenDialog(int controlId)
{
    switch (controlId) {
    case kEditValuesButton: {
        EditValuesDialog dialog(this);
        dialog.exec();
        break;
    }
    case kConfigureAreasButton: {
        ConfigureAreasDialog dialog(this);
        dialog.exec();
        break;
    }
    case kIoBuffersButton: {
        IoBuffersDialog dialog(this);
        dialog.exec();
        break;
    }
    case kAboutButton: {
        AboutDialog dialog(this);
        dialog.exec();
        break;
    }
    case kFaultsButton: {
        FaultsDialog dialog(this);
        dialog.exec();
        break;
    }
    case kGeneratorsButton: {
        GeneratorsDialog dialog(this);
        dialog.exec();
        break;
    }
    default:
        break;
    }
}

void MainWindow::SwitchTable(DataTable table)
{
    if (!ControlOf<QPushButton>(kTableButtons[static_cast<int>(table)])->isChecked()) {
        return;
    }
    ShowFormatControls();
    SetViewPosition(ViewStartOf(table).load(std::memory_order_relaxed));
}

void MainWindow::GoTo()
{
    const QByteArray typed = ControlOf<QLineEdit>(kGoToBox)->text().toLatin1();
    SetViewPosition(GoToValue(ReadUnsignedNumber(typed.constData())));
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    event->ignore();
    SignalExitEvent();
    if (!refreshThreadStarted) {
        CloseWithoutRefreshThread();
    }
}

void MainWindow::CloseWithoutRefreshThread()
{
    // Nobody else would end the window. Stop the server and end once it has stopped, polling so
    // that the window thread keeps taking the stop's log lines.
    if (stopPoll.isActive()) {
        return;
    }
    StopServer();
    stopPoll.start();
}

void MainWindow::RunOnWindowThread(const std::function<void()>& call)
{
    if (QThread::currentThread() == thread()) {
        call();
    } else {
        QMetaObject::invokeMethod(this, [&call] { call(); }, Qt::BlockingQueuedConnection);
    }
}
