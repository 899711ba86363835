#include "console/template_dialog.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScreen>

TemplateDialog::TemplateDialog(const DialogTemplate& dialogTemplate, QWidget* owner)
    : QDialog(owner), dialogTemplate(dialogTemplate)
{
    BuildDialog(this, dialogTemplate, [this](int controlId) { OnCommand(controlId); });
}

void TemplateDialog::reject()
{
    OnCommand(kCancelCommand);
}

void TemplateDialog::WarnOperator(const char* message, int focusControlId)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Parvane"), QString::fromLatin1(message), QMessageBox::Ok, this);
    box.exec();
    Control(focusControlId)->setFocus();
}

void TemplateDialog::showEvent(QShowEvent* event)
{
    if (!placed) {
        placed = true;
        QWidget* owner = parentWidget();
        if (dialogTemplate.placement == DialogPlacement::RelativeToOwner && owner != nullptr) {
            const QRect offset = DialogUnitsToPixels(BaseUnitsOf(font()), dialogTemplate.x, dialogTemplate.y, 0, 0);
            move(owner->mapToGlobal(offset.topLeft()));
        } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect frame = frameGeometry();
            frame.moveCenter(screen->availableGeometry().center());
            move(frame.topLeft());
        }
    }
    QDialog::showEvent(event);
}

QString ControlText(const QWidget* control)
{
    if (const auto* label = qobject_cast<const QLabel*>(control)) {
        return label->text();
    }
    if (const auto* edit = qobject_cast<const QLineEdit*>(control)) {
        return edit->text();
    }
    if (const auto* text = qobject_cast<const QPlainTextEdit*>(control)) {
        return text->toPlainText();
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(control)) {
        return button->text();
    }
    return QString();
}
