// The dialog templates as data and the one builder that makes widgets from them.
#include <QtTest>

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeWidget>

#include <set>

#include "console/console_font.h"
#include "console/console_resources.h"
#include "console/dialog_builder.h"
#include "console/dialog_template.h"

Q_DECLARE_METATYPE(const DialogTemplate*)

class ConsoleTemplatesTest : public QObject {
    Q_OBJECT

private slots:
    void dialogUnitsScaleLikeWindows_data();
    void dialogUnitsScaleLikeWindows();
    void fontsAreTheOnesAsked();
    void everyTemplate_data();
    void identifiersAreUniqueAndControlsInsideTheDialog();
    void acceleratorsAreUnique_data() { everyTemplate_data(); }
    void acceleratorsAreUnique();
    void everyTemplate();
    void builtControlsHaveTheirKind();
    void mainWindowControlsByIdentifier();
    void configureCheckBoxCaptions();
    void framesNeverCoverControls();
    void tabOrderFollowsTheTemplate();
    void digitsOnlyBoxRefusesTypedLetters();
    void radioButtonsOfOneGroupAreExclusive();
    void clicksReportTheirIdentifier();
    void iconAndLogoRender();
};

void ConsoleTemplatesTest::dialogUnitsScaleLikeWindows_data()
{
    QTest::addColumn<int>("averageWidth");
    QTest::addColumn<int>("height");
    QTest::addColumn<QRect>("units");
    QTest::addColumn<QRect>("pixels");
    // MS Sans Serif 8 pt at 96 dpi has base units 6 x 13.
    QTest::newRow("6x13 origin") << 6 << 13 << QRect(0, 0, 4, 8) << QRect(0, 0, 6, 13);
    QTest::newRow("6x13 main window") << 6 << 13 << QRect(0, 0, 426, 301) << QRect(0, 0, 639, 489);
    QTest::newRow("6x13 start button") << 6 << 13 << QRect(10, 5, 69, 14) << QRect(15, 8, 104, 23);
    QTest::newRow("5x13 rounds to nearest") << 5 << 13 << QRect(1, 1, 3, 3) << QRect(1, 2, 4, 5);
    QTest::newRow("7x16") << 7 << 16 << QRect(40, 16, 8, 4) << QRect(70, 32, 14, 8);
}

void ConsoleTemplatesTest::dialogUnitsScaleLikeWindows()
{
    QFETCH(int, averageWidth);
    QFETCH(int, height);
    QFETCH(QRect, units);
    const QRect pixels = DialogUnitsToPixels(DialogBaseUnits{averageWidth, height}, units.x(), units.y(),
                                             units.width(), units.height());
    QTEST(pixels, "pixels");
}

void ConsoleTemplatesTest::fontsAreTheOnesAsked()
{
    // The dialogs are laid out in Liberation Sans 8 pt: another face would move every control.
    const QFont dialogFont = TemplateFont();
    QCOMPARE(QFontInfo(dialogFont).family(), QStringLiteral("Liberation Sans"));
    QCOMPARE(QFontInfo(dialogFont).pointSize(), 8);
    // The hex dumps need a fixed pitch, 11 pixels high, so the bytes line up in columns.
    CreateConsoleFont();
    const QFontMetrics dump(*ConsoleFont);
    const QString family = QFontInfo(*ConsoleFont).family();
    QCOMPARE(QFontInfo(*ConsoleFont).pixelSize(), 11);
    DestroyConsoleFont();
    QVERIFY2(dump.horizontalAdvance(QLatin1Char('i')) == dump.horizontalAdvance(QLatin1Char('W')), qPrintable(family));
}

void ConsoleTemplatesTest::everyTemplate_data()
{
    QTest::addColumn<const DialogTemplate*>("dialogTemplate");
    QTest::newRow("1 main window") << &kMainWindowTemplate;
    QTest::newRow("111 Edit Values") << &kEditValuesTemplate;
    QTest::newRow("116 Configure Data Areas") << &kConfigureAreasTemplate;
    QTest::newRow("117 View I/O Buffers") << &kIoBuffersTemplate;
    QTest::newRow("118 About") << &kAboutTemplate;
    QTest::newRow("119 Faults") << &kFaultsTemplate;
    QTest::newRow("120 Generators") << &kGeneratorsTemplate;
}

void ConsoleTemplatesTest::identifiersAreUniqueAndControlsInsideTheDialog()
{
    for (const DialogTemplate* dialogTemplate :
         {&kMainWindowTemplate, &kEditValuesTemplate, &kConfigureAreasTemplate, &kIoBuffersTemplate, &kAboutTemplate,
          &kFaultsTemplate, &kGeneratorsTemplate}) {
        std::set<int> seen;
        for (const ControlTemplate& control : dialogTemplate->controls) {
            QVERIFY2(control.x >= 0 && control.y >= 0 && control.x + control.width <= dialogTemplate->width &&
                         control.y + control.height <= dialogTemplate->height,
                     qPrintable(QStringLiteral("template %1 control %2").arg(dialogTemplate->templateId).arg(control.id)));
            if (control.id != kNoControlId) {
                QVERIFY2(seen.insert(control.id).second, qPrintable(QString::number(control.id)));
            }
        }
    }
}

void ConsoleTemplatesTest::acceleratorsAreUnique()
{
    // Alt plus a letter reaches one control only; "&&" is a literal ampersand.
    QFETCH(const DialogTemplate*, dialogTemplate);
    QMap<QChar, int> owners;
    for (const ControlTemplate& control : dialogTemplate->controls) {
        const QString caption = QString::fromUtf8(control.caption != nullptr ? control.caption : "");
        if (control.kind == ControlKind::Picture || (control.style & kStyleNoPrefix)) {
            continue;
        }
        for (qsizetype i = caption.indexOf(QLatin1Char('&')); i >= 0 && i + 1 < caption.size();
             i = caption.indexOf(QLatin1Char('&'), i + 2)) {
            if (caption[i + 1] == QLatin1Char('&')) {
                continue;
            }
            const QChar key = caption[i + 1].toLower();
            QVERIFY2(!owners.contains(key), qPrintable(QStringLiteral("'%1' of %2 and %3").arg(key).arg(owners.value(key)).arg(control.id)));
            owners.insert(key, control.id);
        }
    }
}

void ConsoleTemplatesTest::everyTemplate()
{
    QFETCH(const DialogTemplate*, dialogTemplate);
    QWidget dialog;
    BuildDialog(&dialog, *dialogTemplate, [](int) {});
    QCOMPARE(dialog.windowTitle(), QString::fromUtf8(dialogTemplate->caption));
    const DialogBaseUnits units = BaseUnitsOf(TemplateFont());
    QCOMPARE(dialog.size(), DialogUnitsToPixels(units, 0, 0, dialogTemplate->width, dialogTemplate->height).size());
    int built = 0;
    for (const ControlTemplate& control : dialogTemplate->controls) {
        if (control.id == kNoControlId) {
            continue;
        }
        QWidget* widget = FindControl(&dialog, control.id);
        QVERIFY2(widget != nullptr, qPrintable(QString::number(control.id)));
        const QRect place = DialogUnitsToPixels(units, control.x, control.y, control.width, control.height);
        if (control.kind == ControlKind::CheckBox) {
            // Widened to the caption at most, never narrowed.
            QCOMPARE(widget->geometry().topLeft(), place.topLeft());
            QVERIFY(widget->width() >= place.width() && widget->width() <= place.width() + 20);
        } else if (control.kind == ControlKind::ListBox) {
            // Shrunk to whole lines, never grown.
            QCOMPARE(widget->geometry().topLeft(), place.topLeft());
            QCOMPARE(widget->width(), place.width());
            QVERIFY(widget->height() <= place.height() && widget->height() > place.height() / 2);
        } else {
            QCOMPARE(widget->geometry(), place);
        }
        ++built;
    }
    QVERIFY(built > 0);
    QCOMPARE(dialog.children().size() >= static_cast<qsizetype>(dialogTemplate->controls.size()), true);
}

void ConsoleTemplatesTest::builtControlsHaveTheirKind()
{
    QWidget dialog;
    BuildDialog(&dialog, kMainWindowTemplate, [](int) {});
    QVERIFY(ControlAs<QPushButton>(&dialog, 1002));
    QVERIFY(ControlAs<QTreeWidget>(&dialog, 1011));
    QVERIFY(ControlAs<QScrollBar>(&dialog, 1221));
    QVERIFY(ControlAs<QLineEdit>(&dialog, 1226)->isReadOnly());
    QVERIFY(ControlAs<QLineEdit>(&dialog, 1228)->isReadOnly());
    QVERIFY(!ControlAs<QLineEdit>(&dialog, 1240)->isReadOnly());
    QVERIFY(ControlAs<QPushButton>(&dialog, 1239)->isDefault());
    for (int id : {1222, 1223, 1224, 1225, 1229, 1230, 1232, 1233}) {
        auto* radio = ControlAs<QPushButton>(&dialog, id);
        QVERIFY(radio && radio->isCheckable() && radio->isFlat());
    }
    QWidget io;
    BuildDialog(&io, kIoBuffersTemplate, [](int) {});
    QVERIFY(ControlAs<QPlainTextEdit>(&io, 1241)->isReadOnly());
    QVERIFY(ControlAs<QPlainTextEdit>(&io, 1242)->isReadOnly());
    QVERIFY(ControlAs<QPushButton>(&io, 2)->isDefault());
    QCOMPARE(ControlAs<QPushButton>(&io, 1244)->text(), QStringLiteral("Refresh"));
}

void ConsoleTemplatesTest::mainWindowControlsByIdentifier()
{
    QWidget dialog;
    BuildDialog(&dialog, kMainWindowTemplate, [](int) {});
    QCOMPARE(ControlAs<QPushButton>(&dialog, 1002)->text(), QStringLiteral("&Start Server"));
    QCOMPARE(ControlAs<QPushButton>(&dialog, 1231)->text(), QStringLiteral("&About..."));
    QCOMPARE(ControlAs<QPushButton>(&dialog, 1242)->text(), QStringLiteral("&View I/O Buffers..."));
    QCOMPARE(ControlAs<QPushButton>(&dialog, 1209)->text(), QStringLiteral("&Edit Values..."));
    QCOMPARE(ControlAs<QPushButton>(&dialog, 1213)->text(), QStringLiteral("&Configure Areas..."));
    // The table buttons from left to right, each caption whole within its button.
    const QList<std::pair<int, QString>> tableButtons{
        {1233, "C&oils"}, {1229, "&Discrete Inputs"}, {1230, "&Input Registers"}, {1232, "Holding &Registers"}};
    int left = -1;
    for (const auto& [id, caption] : tableButtons) {
        auto* button = ControlAs<QPushButton>(&dialog, id);
        QCOMPARE(button->text(), caption);
        QVERIFY2(button->x() > left, qPrintable(caption));
        left = button->x() + button->width() - 1;
        const int textWidth = button->fontMetrics().horizontalAdvance(QString(caption).remove(QLatin1Char('&')));
        QVERIFY2(textWidth + 4 <= button->width(), qPrintable(caption));
    }
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(ControlAs<QPushButton>(&dialog, 1222 + i)->text(), QStringLiteral("&%1 >").arg(i + 1));
        QVERIFY(ControlAs<QLabel>(&dialog, 1901 + i));
        QVERIFY(ControlAs<QLabel>(&dialog, 2001 + i));
    }
    for (int id = 1179; id <= 1208; ++id) {
        QVERIFY(ControlAs<QLabel>(&dialog, id)->alignment() & Qt::AlignRight);
    }
    for (int id : {2101, 2201, 2301, 2401, 1234, 1235, 1236, 1237, 1238}) {
        QVERIFY2(ControlAs<QLabel>(&dialog, id)->alignment() & Qt::AlignRight, qPrintable(QString::number(id)));
    }
    // The unaddressed group boxes exist with their titles.
    QStringList titles;
    for (QGroupBox* box : dialog.findChildren<QGroupBox*>()) {
        titles << box->title();
    }
    titles.sort();
    QCOMPARE(titles, (QStringList{"Client Connections", "Data Areas", "Event Log"}));
}

void ConsoleTemplatesTest::configureCheckBoxCaptions()
{
    QWidget dialog;
    BuildDialog(&dialog, kConfigureAreasTemplate, [](int) {});
    // The columns from left to right: coils, discrete inputs, input registers, holding registers.
    const QList<std::pair<int, QString>> boxes{
        {1221, "Read Multiple Coils (FC 01)"},     {1222, "Force Single Coil (FC 05)"},
        {1223, "Force Multiple Coils (FC 15)"},    {1228, "Read Discrete Inputs (FC 02)"},
        {1231, "Read Input Registers (FC 04)"},    {1214, "Read Multiple Registers (FC 03)"},
        {1215, "Write Single Register (FC 06)"},   {1216, "Write Multiple Registers (FC 16)"},
        {1217, "Masked-Write Register (FC 22)"},   {1218, "Read/Write Registers (FC 23)"}};
    int left = 0;
    for (const auto& [id, caption] : boxes) {
        auto* box = ControlAs<QCheckBox>(&dialog, id);
        QCOMPARE(box->text(), caption);
        QVERIFY2(box->x() >= left, qPrintable(caption));
        left = box->x();
    }
    for (int id : {1226, 1227, 1229, 1230, 1232, 1233, 1219, 1220}) {
        QVERIFY(ControlAs<QLineEdit>(&dialog, id));
    }
    QMap<int, QString> columns;   // by left edge
    for (QGroupBox* group : dialog.findChildren<QGroupBox*>()) {
        if (group->title() != QStringLiteral("Enabled Modbus Functions") && group->title() != QStringLiteral("Address Range")) {
            columns.insert(group->x(), group->title());
        }
    }
    QCOMPARE(columns.values(), (QStringList{"Coils", "Discrete Inputs", "Input Registers", "Holding Registers"}));
}

void ConsoleTemplatesTest::framesNeverCoverControls()
{
    QWidget dialog;
    BuildDialog(&dialog, kMainWindowTemplate, [](int) {});
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    // The child under the middle of each addressed control is that control, not a frame.
    for (int id : {1002, 1226, 1232, 1239, 1240, 1179, 1208, 2301, 1222}) {
        QWidget* control = FindControl(&dialog, id);
        QWidget* hit = dialog.childAt(control->geometry().center());
        while (hit && hit->parentWidget() != &dialog) {
            hit = hit->parentWidget();
        }
        QCOMPARE(hit, control);
    }
}

void ConsoleTemplatesTest::tabOrderFollowsTheTemplate()
{
    QWidget dialog;
    BuildDialog(&dialog, kEditValuesTemplate, [](int) {});
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QApplication::setActiveWindow(&dialog);
    FindControl(&dialog, 1)->setFocus();
    QCOMPARE(QApplication::focusWidget(), FindControl(&dialog, 1));
    const int expected[] = {2, 3000, 3001, 3002};
    for (int id : expected) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), FindControl(&dialog, id));
    }
}

void ConsoleTemplatesTest::digitsOnlyBoxRefusesTypedLetters()
{
    QWidget dialog;
    BuildDialog(&dialog, kConfigureAreasTemplate, [](int) {});
    auto* start = ControlAs<QLineEdit>(&dialog, 1219);
    auto* size = ControlAs<QLineEdit>(&dialog, 1220);
    QTest::keyClicks(start, QStringLiteral("1a2 3-"));
    QCOMPARE(start->text(), QStringLiteral("123"));
    // The size box takes any characters.
    QTest::keyClicks(size, QStringLiteral("1a2"));
    QCOMPARE(size->text(), QStringLiteral("1a2"));
    // Text set by the program goes in as it is, like pasted text.
    start->setText(QStringLiteral("  "));
    QCOMPARE(start->text(), QStringLiteral("  "));
}

void ConsoleTemplatesTest::radioButtonsOfOneGroupAreExclusive()
{
    QWidget dialog;
    BuildDialog(&dialog, kMainWindowTemplate, [](int) {});
    auto* slot0 = ControlAs<QPushButton>(&dialog, 1222);
    auto* slot2 = ControlAs<QPushButton>(&dialog, 1224);
    auto* registers = ControlAs<QPushButton>(&dialog, 1232);
    auto* coils = ControlAs<QPushButton>(&dialog, 1233);
    auto* discreteInputs = ControlAs<QPushButton>(&dialog, 1229);
    auto* inputRegisters = ControlAs<QPushButton>(&dialog, 1230);
    QTest::mouseClick(slot0, Qt::LeftButton);
    QTest::mouseClick(registers, Qt::LeftButton);
    QTest::mouseClick(slot2, Qt::LeftButton);
    QVERIFY(slot2->isChecked() && !slot0->isChecked());
    QVERIFY(registers->isChecked());   // another group
    QTest::mouseClick(coils, Qt::LeftButton);
    QVERIFY(coils->isChecked() && !registers->isChecked());
    QTest::mouseClick(discreteInputs, Qt::LeftButton);
    QVERIFY(discreteInputs->isChecked() && !coils->isChecked());
    QTest::mouseClick(inputRegisters, Qt::LeftButton);
    QVERIFY(inputRegisters->isChecked() && !discreteInputs->isChecked() && !registers->isChecked());
    QVERIFY(slot2->isChecked());
}

void ConsoleTemplatesTest::clicksReportTheirIdentifier()
{
    QWidget dialog;
    QList<int> commands;
    BuildDialog(&dialog, kConfigureAreasTemplate, [&commands](int id) { commands << id; });
    QTest::mouseClick(FindControl(&dialog, 2), Qt::LeftButton);
    QTest::mouseClick(FindControl(&dialog, 1216), Qt::LeftButton);
    QTest::mouseClick(FindControl(&dialog, 1), Qt::LeftButton);
    QCOMPARE(commands, (QList<int>{2, 1216, 1}));
}

void ConsoleTemplatesTest::iconAndLogoRender()
{
    const QIcon icon = ParvaneIcon();
    for (int size : {16, 32}) {
        const QImage image = icon.pixmap(size, size).toImage();
        QCOMPARE(image.size(), QSize(size, size));
        // The tile is opaque in the middle and drawn, not blank.
        QVERIFY(qAlpha(image.pixel(size / 2, size / 2)) == 255);
        QVERIFY(image.pixel(size / 2, size / 2) != image.pixel(1, size / 2));
    }
    const QPixmap logo = ResourcePicture(QStringLiteral(":/parvane/logo.svg"));
    QCOMPARE(logo.size(), QSize(360, 42));
}

QTEST_MAIN(ConsoleTemplatesTest)
#include "test_console_templates.moc"
