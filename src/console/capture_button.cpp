#include "console/capture_button.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

#include <string>

#include "capture/capture_file.h"

void PressCaptureButton(QWidget* window)
{
    std::string running;
    if (IsCapturing(&running)) {
        StopCapture();
        return;
    }
    QFileDialog dialog(window, QStringLiteral("Capture to File"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setNameFilter(QStringLiteral("Packet captures (*.pcap)"));
    dialog.setDefaultSuffix(QStringLiteral("pcap"));
    dialog.setObjectName(QStringLiteral("captureFileDialog"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return;
    }
    std::string problem;
    if (!StartCapture(dialog.selectedFiles().first().toStdString(), &problem)) {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Parvane"), QString::fromStdString(problem),
                        QMessageBox::Ok, window);
        box.exec();
    }
}

QString CaptureCaption()
{
    std::string running;
    return IsCapturing(&running) ? QStringLiteral("End Ca&pture") : QStringLiteral("Ca&pture...");
}
