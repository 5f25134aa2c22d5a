#include "encodings.h"
#include "longrunguard.h"
#include "ui_veltrane.h"
#include "veltrane.h"
#include "windowdriver.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMetaMethod>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>
#include <QVBoxLayout>

#include <cstddef>
#include <cstdint>
#include <iterator>

namespace {

// How a text reaches the text box, and what happens to it after.
enum class Entry : std::uint8_t { Pasted, Typed, Translated };
enum class Then : std::uint8_t { Nothing, Undo, SpaceInMiddle };

// The radio buttons in one of the two columns on screen, from the top.
QStringList encodingColumn(std::size_t column)
{
    constexpr std::size_t perColumn = encodingsOnScreen.size() / 2;
    QStringList buttons;
    for (std::size_t i = column * perColumn; i < (column + 1) * perColumn; ++i)
        buttons << QString::fromLatin1(encodingsOnScreen.at(i).button);
    return buttons;
}

} // namespace

Q_DECLARE_METATYPE(Entry)
Q_DECLARE_METATYPE(Then)

class TestWindow : public QObject
{
    Q_OBJECT

private slots:
    void freshWindow();
    void objectsByName_data();
    void objectsByName();
    void layoutsHoldTheirWidgets();
    void texts_data();
    void texts();
    void onlyGbkChecked();
    void radioButtonsExclusive_data();
    void radioButtonsExclusive();
    void existingObjectNameSurvives();
    void metaObjectHasOneSlot();
    void clickRunsSlotOnce();
    void closingEndsEventLoopWithZero();
    void textBoxWrapping_data();
    void textBoxWrapping();
    void accessibleNames_data();
    void accessibleNames();
    void keyboardWay_data();
    void keyboardWay();
};

void TestWindow::freshWindow()
{
    Veltrane window;
    QCOMPARE(window.size(), QSize(560, 394));
    QCOMPARE(window.windowTitle(), QStringLiteral("Veltraner"));
    QCOMPARE(window.objectName(), QStringLiteral("VeltraneClass"));
    QCOMPARE(window.centralWidget()->objectName(), QStringLiteral("centralWidget"));
    for (const char *name : { "plainTextEdit_res", "plainTextEdit_hex" }) {
        auto *box = window.findChild<QPlainTextEdit *>(QLatin1String(name));
        QVERIFY2(box, name);
        QVERIFY2(box->toPlainText().isEmpty(), name);
    }
    QVERIFY(!window.menuWidget());
    QVERIFY(window.windowIcon().isNull());
}

void TestWindow::objectsByName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");

    const auto row = [](const QString &name, const char *className) {
        QTest::newRow(qPrintable(name)) << name << QString::fromLatin1(className);
    };
    const std::pair<const char *, const char *> objects[] = {
        { "centralWidget", "QWidget" },
        { "verticalLayout_3", "QVBoxLayout" },
        { "label_2", "QLabel" },
        { "plainTextEdit_res", "QPlainTextEdit" },
        { "label", "QLabel" },
        { "plainTextEdit_hex", "QPlainTextEdit" },
        { "groupBox", "QGroupBox" },
        { "horizontalLayout", "QHBoxLayout" },
    };
    for (const auto &[name, className] : objects)
        row(QString::fromLatin1(name), className);
    const char *const columnLayouts[] = { "verticalLayout_2", "verticalLayout" };
    for (std::size_t column = 0; column < std::size(columnLayouts); ++column) {
        row(QString::fromLatin1(columnLayouts[column]), "QVBoxLayout");
        for (const QString &button : encodingColumn(column))
            row(button, "QRadioButton");
    }
    row(QStringLiteral("pushButton"), "QPushButton");
}

void TestWindow::objectsByName()
{
    QFETCH(QString, name);
    QFETCH(QString, className);

    Veltrane window;
    const QList<QObject *> found = window.findChildren<QObject *>(name);
    QCOMPARE(found.size(), 1);
    QCOMPARE(QString::fromLatin1(found.first()->metaObject()->className()), className);
}

void TestWindow::layoutsHoldTheirWidgets()
{
    Veltrane window;
    const auto names = [](const QLayout *layout) {
        QStringList result;
        for (int i = 0; i < layout->count(); ++i) {
            QLayoutItem *item = layout->itemAt(i);
            const QObject *object
                = item->widget() ? static_cast<const QObject *>(item->widget()) : item->layout();
            result << (object ? object->objectName() : QStringLiteral("<spacer>"));
        }
        return result;
    };

    const auto *outer = window.findChild<QVBoxLayout *>(QStringLiteral("verticalLayout_3"));
    QCOMPARE(names(outer),
        QStringList({ "label_2", "plainTextEdit_res", "label", "plainTextEdit_hex", "groupBox",
            "pushButton" }));
    QCOMPARE(outer->spacing(), 6);
    QCOMPARE(outer->contentsMargins(), QMargins(11, 11, 11, 11));

    const auto *columns = window.findChild<QHBoxLayout *>(QStringLiteral("horizontalLayout"));
    QCOMPARE(names(columns), QStringList({ "verticalLayout_2", "verticalLayout" }));
    QCOMPARE(columns->spacing(), 6);
    QCOMPARE(columns->contentsMargins(), QMargins(11, 11, 11, 11));

    const auto *left = window.findChild<QVBoxLayout *>(QStringLiteral("verticalLayout_2"));
    QCOMPARE(names(left), encodingColumn(0));
    const auto *right = window.findChild<QVBoxLayout *>(QStringLiteral("verticalLayout"));
    QCOMPARE(names(right), encodingColumn(1));
    QCOMPARE(left->spacing(), 6);
    QCOMPARE(right->spacing(), 6);

    const auto *button = window.findChild<QPushButton *>(QStringLiteral("pushButton"));
    QCOMPARE(button->minimumSize(), QSize(0, 64));
    for (const QRadioButton *radio : window.findChildren<QRadioButton *>())
        QCOMPARE(radio->parent()->objectName(), QStringLiteral("groupBox"));
}

void TestWindow::texts_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");

    const auto row = [](const char *name, const char *text) {
        QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(text);
    };
    row("label_2", "Text:");
    row("label", "hex:");
    row("groupBox", "Encode");
    for (const EncodingChoice &choice : encodingsOnScreen)
        row(choice.button, choice.label);
    row("pushButton", "Translate");
}

void TestWindow::texts()
{
    QFETCH(QString, name);
    QFETCH(QString, text);

    Veltrane window;
    const QWidget *widget = window.findChild<QWidget *>(name);
    QVERIFY(widget);
    // Labels and buttons call it "text", the group box "title".
    const char *property = qobject_cast<const QGroupBox *>(widget) ? "title" : "text";
    QCOMPARE(widget->property(property).toString(), text);
}

void TestWindow::onlyGbkChecked()
{
    Veltrane window;
    QStringList checked;
    for (const QRadioButton *radio : window.findChildren<QRadioButton *>()) {
        if (radio->isChecked())
            checked << radio->objectName();
    }
    QCOMPARE(checked, QStringList { QStringLiteral("radioButton_GBK") });
}

void TestWindow::radioButtonsExclusive_data()
{
    QTest::addColumn<QString>("name");
    // In the order on screen, but with the one checked at first last.
    for (std::size_t i = 1; i <= encodingsOnScreen.size(); ++i) {
        const char *name = encodingsOnScreen.at(i % encodingsOnScreen.size()).button;
        QTest::newRow(name) << QString::fromLatin1(name);
    }
}

void TestWindow::radioButtonsExclusive()
{
    QFETCH(QString, name);

    Veltrane window;
    window.show();
    // Start from a button other than the default, so that GBK too must take the check over.
    window.findChild<QRadioButton *>(QStringLiteral("radioButton_EUC_KR"))->click();
    window.findChild<QRadioButton *>(name)->click();

    QStringList checked;
    for (const QRadioButton *radio : window.findChildren<QRadioButton *>()) {
        if (radio->isChecked())
            checked << radio->objectName();
    }
    QCOMPARE(checked, QStringList { name });
}

void TestWindow::existingObjectNameSurvives()
{
    QMainWindow window;
    window.setObjectName(QStringLiteral("alreadyNamed"));
    Ui::VeltraneClass form;
    form.setupUi(&window);
    QCOMPARE(window.objectName(), QStringLiteral("alreadyNamed"));
    QCOMPARE(form.plainTextEdit_res->objectName(), QStringLiteral("plainTextEdit_res"));
}

void TestWindow::metaObjectHasOneSlot()
{
    const QMetaObject &meta = Veltrane::staticMetaObject;
    QCOMPARE(meta.className(), "Veltrane");
    QCOMPARE(meta.superClass(), &QMainWindow::staticMetaObject);
    QCOMPARE(meta.methodCount() - meta.methodOffset(), 1);
    const QMetaMethod slot = meta.method(meta.methodOffset());
    QCOMPARE(slot.methodSignature(), QByteArray("SLOT_OnTranslate()"));
    QCOMPARE(slot.methodType(), QMetaMethod::Slot);
    QCOMPARE(slot.access(), QMetaMethod::Public);
    QCOMPARE(meta.propertyCount() - meta.propertyOffset(), 0);
    QCOMPARE(meta.enumeratorCount() - meta.enumeratorOffset(), 0);
    QCOMPARE(meta.classInfoCount() - meta.classInfoOffset(), 0);
    QCOMPARE(meta.constructorCount(), 0);
}

void TestWindow::clickRunsSlotOnce()
{
    // Each run of the slot rewrites the hex box, so the number of rewrites per click tells how
    // often the slot ran: the same as one direct call, and not twice that.
    Veltrane window;
    window.show();
    auto *text = window.findChild<QPlainTextEdit *>(QStringLiteral("plainTextEdit_res"));
    auto *hex = window.findChild<QPlainTextEdit *>(QStringLiteral("plainTextEdit_hex"));
    auto *button = window.findChild<QPushButton *>(QStringLiteral("pushButton"));
    text->setPlainText(QStringLiteral("abc"));

    QSignalSpy hexChanges(hex, &QPlainTextEdit::textChanged);
    window.SLOT_OnTranslate();
    const auto changesPerRun = hexChanges.count();
    QVERIFY(changesPerRun > 0);

    hexChanges.clear();
    QSignalSpy clicks(button, &QPushButton::clicked);
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(clicks.count(), 1);
    QCOMPARE(hexChanges.count(), changesPerRun);
}

void TestWindow::closingEndsEventLoopWithZero()
{
    Veltrane window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTimer::singleShot(0, &window, &QWidget::close);
    QCOMPARE(QApplication::exec(), 0);
}

void TestWindow::textBoxWrapping_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<Entry>("entry");
    QTest::addColumn<Then>("then");
    QTest::addColumn<bool>("anywhere");
    QTest::addColumn<int>("unshapedClusters");

    const int longest = LongRunGuard::longestWordWrappedRun;
    const QString run = QStringLiteral("0123456789ABCDEF").repeated(longest).left(longest + 1);
    const QString prose = QStringLiteral("Hex is one long word, and prose is many short ones. ");
    QString cjk;
    for (int i = 0; i < 2 * longest; ++i)
        cjk += QChar(0x4E00 + ((i * 37) % 20000));
    QString arabic;
    for (int i = 0; i < 2 * longest; ++i)
        arabic += QChar(0x0628 + (i % 20));
    const auto letterWithMarks = [](int marks) {
        QString cluster(1, QLatin1Char('a'));
        for (int i = 0; i < marks; ++i)
            cluster += QChar(0x0301 + (i % 8));
        return cluster;
    };
    const int cluster = LongRunGuard::longestShapedCluster;

    QTest::newRow("prose") << prose.repeated(40) << Entry::Pasted << Then::Nothing << false << 0;
    QTest::newRow("CJK") << cjk << Entry::Pasted << Then::Nothing << false << 0;
    QTest::newRow("base64, breaks after slashes")
        << QStringLiteral("QUJDREVGR0hJSktMTU5PUFFSU1RVVldYWVo/abc+").repeated(40) << Entry::Pasted
        << Then::Nothing << false << 0;
    QTest::newRow("run as long as word wrap takes")
        << run.left(longest) << Entry::Pasted << Then::Nothing << false << 0;
    QTest::newRow("run one longer, pasted") << run << Entry::Pasted << Then::Nothing << true << 0;
    QTest::newRow("run one longer, typed") << run << Entry::Typed << Then::Nothing << true << 0;
    QTest::newRow("run one longer, decoded")
        << run << Entry::Translated << Then::Nothing << true << 0;
    QTest::newRow("numbers between spaces, where the layout breaks but Unicode does not")
        << QStringLiteral("0123456789 ").repeated(100) << Entry::Pasted << Then::Nothing << false
        << 0;
    QTest::newRow("words joined by no-break spaces")
        << (QStringLiteral("word") + QChar(0x00A0)).repeated(200) << Entry::Pasted << Then::Nothing
        << true << 0;
    QTest::newRow("Arabic letters without spaces")
        << arabic << Entry::Pasted << Then::Nothing << true << 0;
    QTest::newRow("prose lines around a run")
        << prose + QLatin1Char('\n') + run + QLatin1Char('\n') + prose << Entry::Pasted
        << Then::Nothing << true << 0;
    QTest::newRow("run pasted, then undone") << run << Entry::Pasted << Then::Undo << false << 0;
    QTest::newRow("run decoded, then undone")
        << run << Entry::Translated << Then::Undo << false << 0;
    QTest::newRow("two runs of word wrap's length, joined, then split by a space")
        << run.left(longest - 1).repeated(2) << Entry::Pasted << Then::SpaceInMiddle << false << 0;
    QTest::newRow("letters with a few marks each")
        << (letterWithMarks(4).repeated(5) + QLatin1Char(' ')).repeated(100) << Entry::Pasted
        << Then::Nothing << false << 0;
    QTest::newRow("cluster as long as is shaped")
        << prose + letterWithMarks(cluster - 1) << Entry::Pasted << Then::Nothing << false << 0;
    QTest::newRow("cluster one longer")
        << prose + letterWithMarks(cluster) << Entry::Pasted << Then::Nothing << false << 1;
    QTest::newRow("letter with thousands of marks") << prose + letterWithMarks(4 * longest) + prose
                                                    << Entry::Pasted << Then::Nothing << true << 1;
}

// Read from the box's settings, from what they were while the change was announced (before the
// toolkit laid it out), and from the layout of each line of text.
void TestWindow::textBoxWrapping()
{
    QFETCH(QString, text);
    QFETCH(Entry, entry);
    QFETCH(Then, then);
    QFETCH(bool, anywhere);
    QFETCH(int, unshapedClusters);

    WindowDriver driver;
    QPlainTextEdit *box = driver.textBox();
    const QTextOption::WrapMode usual = box->wordWrapMode();
    QCOMPARE(usual, QTextOption::WrapAtWordBoundaryOrAnywhere);
    QTextOption::WrapMode modeBeforeLayout = usual;
    QObject::connect(box->document(), &QTextDocument::contentsChange, box,
        [box, &modeBeforeLayout] { modeBeforeLayout = box->wordWrapMode(); });

    switch (entry) {
    case Entry::Pasted:
        QApplication::clipboard()->setText(text);
        // A compositor without a seat has no clipboard, and the toolkit's paste would crash on it;
        // the text goes in there as a paste puts it.
        if (QApplication::clipboard()->text() == text)
            QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
        else
            box->insertPlainText(text);
        break;
    case Entry::Typed:
        QTest::keyClicks(box, text);
        break;
    case Entry::Translated:
        driver.choose(QStringLiteral("radioButton_UTF8"));
        driver.hexBox()->setPlainText(QString::fromLatin1(text.toUtf8().toHex()));
        driver.clickTranslate();
        break;
    }
    QString expectedText = text;
    switch (then) {
    case Then::Nothing:
        break;
    case Then::Undo:
        QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier);
        expectedText.clear();
        break;
    case Then::SpaceInMiddle: {
        QTextCursor cursor = box->textCursor();
        cursor.setPosition(static_cast<int>(text.size() / 2));
        box->setTextCursor(cursor);
        QTest::keyClick(box, Qt::Key_Space);
        expectedText.insert(text.size() / 2, QLatin1Char(' '));
        break;
    }
    }
    QApplication::processEvents();
    // Held as typed: toPlainText() would turn no-break spaces into plain ones.
    QCOMPARE(box->document()->toRawText(),
        expectedText.replace(QLatin1Char('\n'), QChar::ParagraphSeparator));
    QCOMPARE(driver.messages.size(), 0);

    const QTextOption::WrapMode expected = anywhere ? QTextOption::WrapAnywhere : usual;
    QCOMPARE(box->wordWrapMode(), expected);
    QCOMPARE(modeBeforeLayout, expected);
    int linesLaidOut = 0;
    int unshaped = 0;
    for (QTextBlock block = box->document()->begin(); block.isValid(); block = block.next()) {
        const QTextLayout *layout = block.layout();
        if (layout->lineCount() > 0)
            QCOMPARE(layout->textOption().wrapMode(), expected);
        linesLaidOut += layout->lineCount();
        for (const QTextLayout::FormatRange &range : layout->formats()) {
            if (range.format.fontStyleStrategy() & QFont::PreferNoShaping)
                ++unshaped;
        }
    }
    QVERIFY(linesLaidOut > 0);
    QCOMPARE(unshaped, unshapedClusters);
}

void TestWindow::accessibleNames_data()
{
    QTest::addColumn<QString>("object");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("labelledBy");

    QTest::newRow("text box") << "plainTextEdit_res"
                              << "Text:"
                              << "label_2";
    QTest::newRow("hex box") << "plainTextEdit_hex"
                             << "hex:"
                             << "label";
    for (const EncodingChoice &choice : encodingsOnScreen)
        QTest::newRow(choice.button) << choice.button << choice.label << "groupBox";
    QTest::newRow("pushButton") << "pushButton"
                                << "Translate" << QString();
}

// What a screen reader says for each control that takes focus, and which label it reads with it.
void TestWindow::accessibleNames()
{
    QFETCH(QString, object);
    QFETCH(QString, name);
    QFETCH(QString, labelledBy);

    Veltrane window;
    window.show();
    auto *widget = window.findChild<QWidget *>(object);
    QVERIFY(widget);
    QVERIFY(widget->focusPolicy() & Qt::ClickFocus);
    QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(widget);
    QVERIFY(accessible);
    QCOMPARE(accessible->text(QAccessible::Name), name);

    QStringList labels;
    for (const auto &relation : accessible->relations(QAccessible::Label))
        labels << relation.first->object()->objectName();
    QCOMPARE(labels, labelledBy.isEmpty() ? QStringList() : QStringList(labelledBy));
}

void TestWindow::keyboardWay_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("from");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("shift");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("hex");

    const auto row = [](const char *name, const char *chosen, const char *from, Qt::Key key,
                         bool shift, const char *to, const char *hex = "") {
        QTest::newRow(name) << chosen << from << int(key) << shift << to << hex;
    };
    // The group of encodings is entered once, at its checked button, from either side.
    const char *gbk = "radioButton_GBK";
    const char *utf8 = "radioButton_UTF8";
    row("text box, Tab", gbk, "plainTextEdit_res", Qt::Key_Tab, false, "plainTextEdit_hex");
    row("hex box, Tab", gbk, "plainTextEdit_hex", Qt::Key_Tab, false, gbk);
    row("encodings, Tab", gbk, gbk, Qt::Key_Tab, false, "pushButton");
    row("Translate, Shift+Tab", gbk, "pushButton", Qt::Key_Tab, true, gbk);
    row("encodings, Shift+Tab", gbk, gbk, Qt::Key_Tab, true, "plainTextEdit_hex");
    row("hex box, Shift+Tab", gbk, "plainTextEdit_hex", Qt::Key_Tab, true, "plainTextEdit_res");
    row("encodings, arrow", gbk, gbk, Qt::Key_Right, false, utf8);
    row("hex box, Tab, UTF-8 chosen", utf8, "plainTextEdit_hex", Qt::Key_Tab, false, utf8);
    row("Translate, Shift+Tab, UTF-8 chosen", utf8, "pushButton", Qt::Key_Tab, true, utf8);
    row("Translate, Space", gbk, "pushButton", Qt::Key_Space, false, "pushButton", "616263");
    row("Translate, Return", gbk, "pushButton", Qt::Key_Return, false, "pushButton", "616263");
    row("Translate, Enter", gbk, "pushButton", Qt::Key_Enter, false, "pushButton", "616263");
}

// Each key as a keyboard sends it to whatever has the focus; no box keeps a Tab as text.
void TestWindow::keyboardWay()
{
    QFETCH(QString, chosen);
    QFETCH(QString, from);
    QFETCH(int, key);
    QFETCH(bool, shift);
    QFETCH(QString, to);
    QFETCH(QString, hex);

    WindowDriver driver;
    driver.window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&driver.window));
    // A compositor without a seat, as a headless one is, gives no window the keyboard.
    if (QApplication::activeWindow() != &driver.window) {
        QTest::qSkip("no window gets the keyboard on this platform", __FILE__, __LINE__);
        return;
    }
    auto *encoding = driver.window.findChild<QRadioButton *>(chosen);
    // On the indicator: the button's middle can lie beyond its label.
    if (!encoding->isChecked())
        QTest::mouseClick(encoding, Qt::LeftButton, {}, QPoint(4, encoding->height() / 2));
    QVERIFY(encoding->isChecked());
    driver.textBox()->setPlainText(QStringLiteral("abc"));
    auto *start = driver.window.findChild<QWidget *>(from);
    start->setFocus(Qt::OtherFocusReason);
    QCOMPARE(QApplication::focusWidget(), start);

    QTest::keyClick(QApplication::focusWidget(), static_cast<Qt::Key>(key),
        shift ? Qt::ShiftModifier : Qt::NoModifier);
    QVERIFY(QApplication::focusWidget());
    QCOMPARE(QApplication::focusWidget()->objectName(), to);
    if (auto *radio = qobject_cast<QRadioButton *>(QApplication::focusWidget()))
        QVERIFY(radio->isChecked());
    QCOMPARE(driver.textBox()->toPlainText(), QStringLiteral("abc"));
    QCOMPARE(driver.hexBox()->toPlainText(), hex);
}

QTEST_MAIN(TestWindow)
#include "tst_window.moc"
