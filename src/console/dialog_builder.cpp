#include "console/dialog_builder.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeWidget>

#include "console/console_resources.h"

namespace {

constexpr const char* kControlIdProperty = "controlId";

// Typing into a digits-only box accepts digits and editing keys only; text set by the program
// or pasted goes in unchanged, so the dialogs still check what they read.
class DigitsOnlyFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            const QString text = key->text();
            if (!text.isEmpty() && text.at(0).isPrint() && !text.at(0).isDigit()) {
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

Qt::Alignment HorizontalAlignment(unsigned style)
{
    if (style & kStyleAlignCenter) {
        return Qt::AlignHCenter;
    }
    if (style & kStyleAlignRight) {
        return Qt::AlignRight;
    }
    return Qt::AlignLeft;
}

QWidget* MakeLabel(const ControlTemplate& control, QWidget* parent, int lineHeight, int pixelHeight)
{
    auto* label = new QLabel(QString::fromUtf8(control.caption), parent);
    label->setAlignment(HorizontalAlignment(control.style) | Qt::AlignVCenter);
    label->setTextFormat(Qt::PlainText);
    // A label taller than one line wraps its words, like a multi-line static text.
    if (pixelHeight >= 2 * lineHeight) {
        label->setWordWrap(true);
        label->setAlignment(HorizontalAlignment(control.style) | Qt::AlignTop);
    }
    return label;
}

QWidget* MakeLogList(QWidget* parent)
{
    // Two columns: the tab between time stamp and message is shown as a column break.
    auto* list = new QTreeWidget(parent);
    list->setColumnCount(2);
    list->setHeaderHidden(true);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setItemsExpandable(false);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    list->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);   // one scroll step is one line
    list->setFocusPolicy(Qt::ClickFocus);
    list->header()->setStretchLastSection(true);
    list->header()->setSectionResizeMode(0, QHeaderView::Fixed);
    list->setColumnWidth(0, list->fontMetrics().horizontalAdvance(QStringLiteral("00:00:00.000")) + 12);
    return list;
}

QWidget* MakeControl(const ControlTemplate& control, QWidget* parent, const QRect& pixels, int lineHeight)
{
    const QString caption = QString::fromUtf8(control.caption ? control.caption : "");
    switch (control.kind) {
    case ControlKind::PushButton:
    case ControlKind::DefaultPushButton: {
        auto* button = new QPushButton(caption, parent);
        button->setDefault(control.kind == ControlKind::DefaultPushButton);
        return button;
    }
    case ControlKind::PushLikeRadio: {
        auto* button = new QPushButton(caption, parent);
        button->setCheckable(true);
        button->setFlat(true);
        return button;
    }
    case ControlKind::CheckBox:
        return new QCheckBox(caption, parent);
    case ControlKind::GroupBox:
        return new QGroupBox(caption, parent);
    case ControlKind::Frame: {
        auto* frame = new QFrame(parent);
        frame->setFrameStyle(QFrame::StyledPanel | QFrame::Plain);
        return frame;
    }
    case ControlKind::Label:
        return MakeLabel(control, parent, lineHeight, pixels.height());
    case ControlKind::Edit: {
        auto* edit = new QLineEdit(parent);
        edit->setReadOnly(control.style & kStyleReadOnly);
        edit->setFrame(control.style & kStyleBorder);
        if (control.style & kStyleDigitsOnly) {
            edit->installEventFilter(new DigitsOnlyFilter(edit));
        }
        return edit;
    }
    case ControlKind::MultiLineEdit: {
        auto* edit = new QPlainTextEdit(parent);
        edit->setReadOnly(control.style & kStyleReadOnly);
        edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        edit->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        return edit;
    }
    case ControlKind::ListBox:
        return MakeLogList(parent);
    case ControlKind::VerticalScrollBar:
        return new QScrollBar(Qt::Vertical, parent);
    case ControlKind::Picture: {
        auto* picture = new QLabel(parent);
        picture->setAlignment(Qt::AlignCenter);
        picture->setPixmap(ResourcePicture(caption));
        return picture;
    }
    case ControlKind::DropDownList:
        return new QComboBox(parent);
    }
    return new QWidget(parent);
}

// A list box shows whole lines only: its height shrinks to the last full line, so that it does
// not run into the controls below it.
QRect IntegralListHeight(QTreeWidget* list, QRect pixels)
{
    auto* probe = new QTreeWidgetItem(QStringList{QStringLiteral("00:00:00.000"), QStringLiteral("M")});
    list->addTopLevelItem(probe);
    const int rowHeight = list->sizeHintForRow(0);
    delete list->takeTopLevelItem(0);
    const int frame = 2 * list->frameWidth();
    if (rowHeight > 0 && pixels.height() > frame + rowHeight) {
        pixels.setHeight(frame + (pixels.height() - frame) / rowHeight * rowHeight);
    }
    return pixels;
}

bool IsRadio(const ControlTemplate& control)
{
    return control.kind == ControlKind::PushLikeRadio;
}

bool TakesFocusByTab(const ControlTemplate& control)
{
    return control.style & kStyleTabStop;
}

}  // namespace

QFont TemplateFont()
{
    QFont font(QStringLiteral("Liberation Sans"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    return font;
}

DialogBaseUnits BaseUnitsOf(const QFont& font)
{
    const QFontMetrics metrics(font);
    const int alphabetWidth =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return DialogBaseUnits{(alphabetWidth / 26 + 1) / 2, metrics.height()};
}

QRect DialogUnitsToPixels(const DialogBaseUnits& units, int x, int y, int width, int height)
{
    auto scale = [](int value, int base, int divisor) { return (value * base + divisor / 2) / divisor; };
    return QRect(scale(x, units.averageCharWidth, 4), scale(y, units.charHeight, 8),
                 scale(width, units.averageCharWidth, 4), scale(height, units.charHeight, 8));
}

void BuildDialog(QWidget* dialog, const DialogTemplate& dialogTemplate, const CommandHandler& onCommand)
{
    const QFont font = TemplateFont();
    dialog->setFont(font);
    dialog->setWindowTitle(QString::fromUtf8(dialogTemplate.caption));
    const DialogBaseUnits units = BaseUnitsOf(font);
    const int lineHeight = QFontMetrics(font).height();
    dialog->setFixedSize(DialogUnitsToPixels(units, 0, 0, dialogTemplate.width, dialogTemplate.height).size());

    QButtonGroup* radioGroup = nullptr;
    for (const ControlTemplate& control : dialogTemplate.controls) {
        const QRect pixels = DialogUnitsToPixels(units, control.x, control.y, control.width, control.height);
        QWidget* widget = MakeControl(control, dialog, pixels, lineHeight);
        if (auto* list = qobject_cast<QTreeWidget*>(widget)) {
            widget->setGeometry(IntegralListHeight(list, pixels));
        } else if (control.kind == ControlKind::CheckBox) {
            // This style's box and gap are a few pixels wider than the template's; the caption
            // keeps its full width rather than losing its last characters.
            widget->setGeometry(pixels.adjusted(0, 0, qMax(0, widget->sizeHint().width() - pixels.width()), 0));
        } else {
            widget->setGeometry(pixels);
        }
        if (control.id != kNoControlId) {
            widget->setObjectName(QString::number(control.id));
            widget->setProperty(kControlIdProperty, control.id);
        }
        if (control.kind == ControlKind::GroupBox || control.kind == ControlKind::Frame) {
            widget->lower();
        }
        if (control.style & kStyleGroup) {
            radioGroup = nullptr;
        }
        if (IsRadio(control)) {
            if (radioGroup == nullptr) {
                radioGroup = new QButtonGroup(dialog);
                radioGroup->setExclusive(true);
            }
            radioGroup->addButton(static_cast<QAbstractButton*>(widget), control.id);
        }
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            button->setFocusPolicy(TakesFocusByTab(control) ? Qt::StrongFocus : Qt::ClickFocus);
            if (control.id != kNoControlId) {
                const int id = control.id;
                QObject::connect(button, &QAbstractButton::clicked, dialog, [onCommand, id] { onCommand(id); });
            }
        } else if (qobject_cast<QLineEdit*>(widget) || qobject_cast<QPlainTextEdit*>(widget) ||
                   qobject_cast<QComboBox*>(widget)) {
            widget->setFocusPolicy(TakesFocusByTab(control) ? Qt::StrongFocus : Qt::ClickFocus);
        }
    }
}

void SetDigitsOnly(QLineEdit* edit, bool digitsOnly)
{
    for (QObject* child : edit->children()) {
        if (auto* filter = dynamic_cast<DigitsOnlyFilter*>(child)) {
            if (digitsOnly) {
                return;
            }
            edit->removeEventFilter(filter);
            delete filter;
        }
    }
    if (digitsOnly) {
        edit->installEventFilter(new DigitsOnlyFilter(edit));
    }
}

QWidget* FindControl(const QWidget* dialog, int controlId)
{
    return dialog->findChild<QWidget*>(QString::number(controlId), Qt::FindDirectChildrenOnly);
}
