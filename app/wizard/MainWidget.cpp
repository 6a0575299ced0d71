// The window: widgets, geometry, colour schemes, translations, dragging, keys and the page
// builder. The states and events are in MainWidgetStates.cpp and MainWidgetEvents.cpp.
#include "MainWidget.h"

#include "TitleButtons.h"
#include "WizardPages.h"

#include <QCoreApplication>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QPixmap>
#include <QStyle>
#include <QStyleOptionButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>

namespace {

const char* const kNormalButton =
    "QPushButton { border: 2px solid rgb(47, 49, 50); color: rgb(47, 49, 50); background-color: rgb(0, 234, 204); "
    "outline: 0px; padding: 10px; font: bold 14px 'Lato'; } "
    "QPushButton:hover, QPushButton:focus { border: none; color: rgb(0, 234, 204); "
    "background-color: rgb(47, 49, 50); padding: 10px; font: bold 14px 'Lato'; }";
const char* const kDisabledButton =
    "QPushButton { border: 2px solid rgb(150, 150, 150); color: rgb(150, 150, 150); "
    "background-color: rgb(0, 234, 204); padding: 10px; font: bold 14px 'Lato'; }";
const char* const kRedButton =
    "QPushButton { border: 2px solid rgb(255, 41, 71); color: rgb(255, 41, 71); background-color: rgb(47, 49, 50); "
    "outline: 0px; font: bold 14px 'Lato'; } "
    "QPushButton:hover, QPushButton:focus { border: none; color: rgb(47, 49, 50); "
    "background-color: rgb(255, 41, 71); padding: 10px; font: bold 14px 'Lato'; }";

const char* const kNormalWindow = "QWidget { background-color: rgb(0, 234, 204); }";
const char* const kErrorWindow = "QWidget { background-color: rgb(47, 49, 50); }";
const char* const kPercentStyle =
    "QLabel { background-color: transparent; margin: 0; font: 40px 'Lato'; color: rgb(34, 36, 37); }";
const char* const kNormalHeader = "QLabel { margin: 0; font: bold 40px 'Lato'; color: rgb(34, 36, 37); }";
const char* const kNormalText = "QLabel { margin: 0; font: 16px 'Lato'; color: rgb(34, 36, 37); }";
const char* const kErrorHeader = "QLabel { margin: 0; font: bold 40px 'Lato'; color: rgb(255, 41, 71); }";
const char* const kErrorText = "QLabel { margin: 0; font: 16px 'Lato'; color: rgb(255, 41, 71); }";
const char* const kBadgeStyle = "QLabel { margin: 0; background-color: transparent }";

// Setting a style sheet re-polishes the widget and everything below it, even when the sheet is
// the same: on the window that made each page change several times slower.
void restyle(QWidget* widget, const char* style)
{
    const QString sheet = QString::fromLatin1(style);
    if (widget->styleSheet() != sheet)
        widget->setStyleSheet(sheet);
}

constexpr int kButtonWidth = 120;
constexpr int kButtonHeight = 50;

// The button styles give the plain and the focused state different boxes (border and padding),
// and a button measures itself in the state it is in: its width fits the text in both.
void fitButtonToText(QPushButton* button)
{
    button->ensurePolished();
    const QSize text = button->fontMetrics().size(Qt::TextShowMnemonic, button->text());
    int width = kButtonWidth;
    for (const bool highlighted : {false, true}) {  // focus and hover share a style
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        option.state.setFlag(QStyle::State_HasFocus, highlighted);
        option.state.setFlag(QStyle::State_MouseOver, highlighted);
        const QSize size = button->style()->sizeFromContents(QStyle::CT_PushButton, &option, text, button);
        width = std::max(width, size.width());
    }
    button->setMinimumWidth(width);
}

// The countdown's number stays on the line of its unit, whatever space the catalogue puts between.
QString bindNumberToUnit(QString header)
{
    return header.replace(QStringLiteral("%1 "), QStringLiteral("%1") + QChar(QChar::Nbsp));
}

}  // namespace

WizardCatalogue builtInCatalogue()
{
    return WizardCatalogue{deviceFirmwareTable().data(), deviceFirmwareTable().size(),
                           receiverFirmwareTable().data(), receiverFirmwareTable().size()};
}

bool loadWizardTranslator(QTranslator& translator, const QStringList& uiLanguages)
{
    const QString folder = QStringLiteral(":/translations");
    for (QString language : uiLanguages) {
        language.replace(QLatin1Char('-'), QLatin1Char('_'));
        // "de_DE" falls back to "de"; an empty name would load nothing useful.
        if (!language.isEmpty() && translator.load(language, folder, QStringLiteral("_"), QStringLiteral(".qm")))
            return true;
    }
    return translator.load(QStringLiteral(":/translations/en.qm"));
}

MainWidget::MainWidget() : MainWidget(dfuApi()) {}

MainWidget::MainWidget(IDfuApi& api, const WizardCatalogue& catalogue) : m_api(api), m_catalogue(catalogue)
{
    m_header = new QLabel(this);
    m_text = new QLabel(this);
    m_leftButton = new QPushButton(this);
    m_rightButton = new QPushButton(this);
    m_picture = new QLabel(this);
    m_badge = new QLabel(this);
    m_percentLabel = new QLabel(this);
    m_header->setObjectName(QStringLiteral("header"));
    m_text->setObjectName(QStringLiteral("text"));
    m_leftButton->setObjectName(QStringLiteral("leftButton"));
    m_rightButton->setObjectName(QStringLiteral("rightButton"));
    m_picture->setObjectName(QStringLiteral("picture"));
    m_badge->setObjectName(QStringLiteral("badge"));
    m_percentLabel->setObjectName(QStringLiteral("percentLabel"));

    layoutWindow();
    installTitleButtons(this, 1);

    for (QWidget* child : findChildren<QWidget*>()) {
        if (qobject_cast<QPushButton*>(child))
            child->setAttribute(Qt::WA_NoMousePropagation);
        else
            child->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    m_leftButton->installEventFilter(this);
    m_rightButton->installEventFilter(this);

    qRegisterMetaType<DFU_DEVICE>("DFU_DEVICE");
    qRegisterMetaType<DFU_EVENTTYPE>("DFU_EVENTTYPE");
    connect(m_leftButton, &QPushButton::clicked, this, &MainWidget::onLeftButtonClicked);
    connect(m_rightButton, &QPushButton::clicked, this, &MainWidget::onRightButtonClicked);
    connect(this, &MainWidget::DfuEvent, this, &MainWidget::onDfuEvent, Qt::QueuedConnection);
    connect(&m_detectTimer, &QTimer::timeout, this, &MainWidget::onDetectTimeout);
    connect(&m_retryTimer, &QTimer::timeout, this, &MainWidget::onRetryTimeout);
    m_returnTimer.setSingleShot(true);
    connect(&m_returnTimer, &QTimer::timeout, this, &MainWidget::onReturnTimeout);
}

MainWidget::~MainWidget()
{
    if (m_startThread.joinable())
        m_startThread.join();
}

void MainWidget::layoutWindow()
{
    setFixedSize(1000, 680);
    setAttribute(Qt::WA_StyledBackground);
    QFontDatabase::addApplicationFont(QStringLiteral(":/Fonts/Lato-Bold.ttf"));
    QFontDatabase::addApplicationFont(QStringLiteral(":/Fonts/Lato-Regular.ttf"));

    m_picture->setFixedSize(124, 124);
    m_picture->move(105, 238);
    m_badge->setFixedSize(58, 58);
    m_badge->move(179, 234);
    m_badge->setStyleSheet(QString::fromLatin1(kBadgeStyle));
    m_percentLabel->setFixedSize(80, 50);
    m_percentLabel->move(135, 275);
    m_percentLabel->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);

    // Header and text are laid out as rich text on every page, also where they hold no tag: the
    // plain text layout spaces its lines differently, and the column would shift between pages.
    // Their text stands at the top of their box, which the countdown keeps at its tallest.
    for (QLabel* label : {m_header, m_text}) {
        label->setFixedWidth(624);
        label->setWordWrap(true);
        label->setTextFormat(Qt::RichText);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    for (QPushButton* button : {m_leftButton, m_rightButton}) {
        button->setMinimumSize(kButtonWidth, kButtonHeight);
        button->setFocusPolicy(Qt::StrongFocus);
    }

    auto* buttons = new QHBoxLayout;
    buttons->setAlignment(Qt::AlignLeft);
    buttons->addWidget(m_leftButton);
    // The gap belongs to the left button: buildPage closes it when that button is hidden.
    m_buttonGap = new QSpacerItem(8, 0, QSizePolicy::Fixed, QSizePolicy::Minimum);
    buttons->addSpacerItem(m_buttonGap);
    buttons->addWidget(m_rightButton);

    auto* column = new QVBoxLayout;
    column->setAlignment(Qt::AlignTop);
    column->addWidget(m_header);
    column->addSpacing(10);
    column->addWidget(m_text);
    column->addSpacing(25);
    column->addLayout(buttons);

    auto* grid = new QGridLayout(this);
    grid->setRowMinimumHeight(0, 219);
    grid->setColumnMinimumWidth(0, 322);
    // Left as well as top: a cell wider than the column would centre it (moving it between pages
    // with and without buttons) and lay the labels out for the cell's width instead of their own.
    grid->addLayout(column, 1, 3, Qt::AlignTop | Qt::AlignLeft);

    applyColours(false);
    m_badge->raise();
    m_animation.setFileName(QStringLiteral(":/Images/loader.gif"));
    if (loadWizardTranslator(m_translator, QLocale().uiLanguages()))
        QCoreApplication::installTranslator(&m_translator);
}

void MainWidget::applyColours(bool error)
{
    installTitleButtons(this, error ? 2 : 1);
    restyle(this, error ? kErrorWindow : kNormalWindow);
    if (!error)
        restyle(m_percentLabel, kPercentStyle);
    restyle(m_header, error ? kErrorHeader : kNormalHeader);
    restyle(m_text, error ? kErrorText : kNormalText);
    restyle(m_leftButton, error ? kRedButton : kNormalButton);
    restyle(m_rightButton, error ? kRedButton : kNormalButton);
}

QString MainWidget::tr_(const char* key) const
{
    return QCoreApplication::translate("MainWidget", key);
}

QString MainWidget::progressText(int percent) const
{
    return tr_("dfu-progress-label").arg(qMin(percent, 99), 2, 10, QLatin1Char(' '));
}

QString MainWidget::countdownText(int secondsLeft) const
{
    return bindNumberToUnit(tr_("retry-timer-header"))
        .arg(secondsLeft)
        .arg(tr_(secondsLeft == 1 ? "second-text" : "seconds-text"));
}

QString MainWidget::deviceName()
{
    DFU_DEVICE device = m_currentDevice;
    if (device == 0 && m_devices.size() == 1)
        device = m_devices.begin()->first;
    if (device != 0) {
        const auto entry = m_devices.find(device);
        if (entry != m_devices.end())
            m_shownKind = static_cast<int>(entry->second.kind);
        DFU_DEVICE_INFO info;
        std::memset(&info, 0, sizeof info);
        if (m_api.getDeviceInfo(device, &info) == DFU_OK)
            return QString::fromUtf8(info.name, static_cast<int>(strnlen(info.name, sizeof info.name)));
    }
    return tr_(m_shownKind == kFirmwareKindMouse ? "default-mouse-name" : "default-keyboard-name");
}

void MainWidget::buildPage(int state)
{
    ++m_pageSerial;
    m_leftButton->hide();
    m_rightButton->hide();
    m_leftButton->setFocus();
    m_badge->clear();
    m_percentLabel->hide();
    m_animation.stop();

    const auto page = static_cast<wizard::Page>(state);
    applyColours(wizard::isErrorPage(page));
    const QString name = deviceName();

    const wizard::PageRow* row = wizard::pageFor(page, m_retryCount);
    if (!row) {
        // Waiting for the device to come back has no page, but must not look like a hang.
        if (page == wizard::Page::WaitForBootloader) {
            m_picture->setMovie(&m_animation);
            m_animation.start();
        }
        return;
    }
    const bool keyboard = m_shownKind == kFirmwareKindKeyboard;

    const char* headerKey = (!keyboard && row->mouseHeader) ? row->mouseHeader : row->keyboardHeader;
    QString header = tr_(headerKey);
    int headerHeight = 0;
    if (row->headerCountdown) {
        header = bindNumberToUnit(header).arg(kCountdownSeconds);
        // The countdown's texts may wrap differently ("1 SECOND" is shorter): the header keeps the
        // height of the tallest, and its text the top of its box, so that neither its first line
        // nor the text below moves while it counts.
        for (int left = 1; left < kCountdownSeconds; ++left) {
            m_header->setText(countdownText(left));
            headerHeight = std::max(headerHeight, m_header->heightForWidth(m_header->width()));
        }
    }
    m_header->setText(header);
    if (row->headerCountdown)
        headerHeight = std::max(headerHeight, m_header->heightForWidth(m_header->width()));
    m_header->setMinimumHeight(headerHeight);  // 0 on every other page

    QString text = tr_(row->text);
    if (row->textArgument == wizard::TextArgument::DeviceName)
        text = text.arg(name.toHtmlEscaped());  // the text is rich text; the name is the device's
    else if (row->textArgument == wizard::TextArgument::Computer)
        text = text.arg(QStringLiteral("PC"));
    m_text->setText(text);

    const char* picture = (!keyboard && row->mousePicture) ? row->mousePicture : row->keyboardPicture;
    if (std::strcmp(picture, wizard::kAnimation) == 0) {
        m_picture->setMovie(&m_animation);
        m_animation.start();
    } else {
        m_picture->setPixmap(QPixmap(QString::fromLatin1(picture)));
    }
    if (row->badge)
        m_badge->setPixmap(QPixmap(QString::fromLatin1(row->badge)));

    if (row->percentLabel) {
        // The page's own "%1" takes no field width; the progress events pad theirs to two.
        m_percentLabel->setText(tr_("dfu-progress-label").arg(0));
        m_percentLabel->show();
    }

    if (row->leftButton) {
        m_leftButton->setText(tr_(row->leftButton));
        m_leftButton->show();
    }
    if (row->rightButton) {
        m_rightButton->setText(tr_(row->rightButton));
        const bool enabled = row->rightMode != wizard::RightButton::ShownDisabled;
        m_rightButton->setEnabled(enabled);
        if (!enabled)
            restyle(m_rightButton, kDisabledButton);
        m_rightButton->show();
        if (row->focusRight)
            m_rightButton->setFocus();
    }

    fitButtonToText(m_leftButton);
    fitButtonToText(m_rightButton);
    m_buttonGap->changeSize(row->leftButton ? 8 : 0, 0, QSizePolicy::Fixed, QSizePolicy::Minimum);
    layout()->invalidate();

    m_header->adjustSize();
    m_text->adjustSize();
}

void MainWidget::refreshRightButton()
{
    bool enable;
    if (page() == wizard::Page::UnplugReceivers)
        enable = distinctReceivers() == 1;
    else if (page() == wizard::Page::PlugReceivers)
        enable = !m_receivers.empty();
    else
        return;
    m_rightButton->setEnabled(enable);
    restyle(m_rightButton, enable ? kNormalButton : kDisabledButton);
    fitButtonToText(m_rightButton);
}

void MainWidget::mousePressEvent(QMouseEvent* event)
{
    m_pressPosition = event->pos();
}

void MainWidget::mouseMoveEvent(QMouseEvent* event)
{
    move(event->globalPos() - m_pressPosition);
}

void MainWidget::keyPressEvent(QKeyEvent* event)
{
    // A held key's repeats would fall on the page that its first press opened.
    if ((event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter) || event->isAutoRepeat())
        return;
    // The focus child may be a button the current page hides.
    auto* button = qobject_cast<QPushButton*>(focusWidget());
    if (button && button->isVisible())
        button->click();
}

void MainWidget::closeEvent(QCloseEvent* event)
{
    QWidget::closeEvent(event);
}

bool MainWidget::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_leftButton && watched != m_rightButton)
        return false;
    if (event->type() == QEvent::MouseButtonPress)
        m_pressedPage = m_pageSerial;
    // Qt sends a double-click event in place of a double-click's second press. When the first
    // click opened another page, the second was aimed at the page that is gone: it is dropped.
    return event->type() == QEvent::MouseButtonDblClick && m_pressedPage != m_pageSerial;
}
