// Every page in English and German, as laid out: each text fits its box, nothing overlaps, the
// text column stands still from page to page, its lines keep one vertical rhythm on every page and
// while the retry counts down, and a button's text fits it focused or not.
#include "PageTour.h"

#include <QAbstractTextDocumentLayout>
#include <QLayout>
#include <QMovie>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>
#include <QTranslator>
#include <QtMath>

#include <map>
#include <optional>
#include <set>
#include <utility>
#include <vector>

namespace {

const QLocale kEnglish(QLocale::English, QLocale::UnitedStates);
const QLocale kGerman(QLocale::German, QLocale::Germany);

// Shown and holding something: a cleared badge stays visible but empty.
bool showsSomething(const QWidget* widget)
{
    if (!widget->isVisible())
        return false;
    if (const auto* label = qobject_cast<const QLabel*>(widget))
        return !label->text().isEmpty() || !label->pixmap(Qt::ReturnByValue).isNull() || label->movie();
    return true;
}

// The width the button's text needs against the box its style leaves for it.
void expectButtonTextFits(QPushButton* button)
{
    const QFontMetrics metrics(button->font());
    for (const bool focused : {false, true}) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        option.state.setFlag(QStyle::State_HasFocus, focused);
        const QRect box = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        EXPECT_LE(metrics.horizontalAdvance(button->text()), box.width())
            << button->text().toStdString() << (focused ? ", focused" : ", not focused");
        EXPECT_LE(metrics.height(), box.height()) << button->text().toStdString();
    }
}

// A label's rich text laid out at the label's width by a layout of its own.
void layOut(const QLabel* label, QTextDocument& document)
{
    document.setDefaultFont(label->font());
    document.setDocumentMargin(0);
    document.setHtml(label->text());
    document.setTextWidth(label->width());
}

int textHeight(const QLabel* label)
{
    QTextDocument document;
    layOut(label, document);
    return qCeil(document.documentLayout()->documentSize().height());
}

std::vector<QString> textLines(const QLabel* label)
{
    QTextDocument document;
    layOut(label, document);
    document.documentLayout()->documentSize();  // lays the blocks out
    std::vector<QString> lines;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QTextLayout* layout = block.layout();
        for (int i = 0; i < layout->lineCount(); ++i)
            lines.push_back(block.text().mid(layout->lineAt(i).textStart(), layout->lineAt(i).textLength()));
    }
    return lines;
}

// The first row of the label's glyphs, in window coordinates, or -1: where its first line stands.
int firstInkRow(QLabel* label)
{
    const QImage image = label->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QRgb background = image.pixel(0, 0);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) != background)
                return label->y() + y;
    return -1;
}

// A countdown that takes three lines at "10 SEKUNDEN" but two at "1 SEKUNDE".
class WrappingCountdown : public QTranslator {
public:
    QString translate(const char* context, const char* key, const char*, int) const override
    {
        if (qstrcmp(context, "MainWidget") != 0)
            return QString();
        const QString k = QString::fromLatin1(key);
        if (k == "update-failed-retrying-header")
            return QStringLiteral("ETWAS IST SCHIEFGEGANGEN <br>NEUER VERSUCH IN %1 SEKUNDEN");
        if (k == "retry-timer-header")
            return QStringLiteral("ETWAS IST SCHIEFGEGANGEN<br> NEUER VERSUCH IN %1 %2");
        if (k == "second-text")
            return QStringLiteral("SEKUNDE");
        if (k == "seconds-text")
            return QStringLiteral("SEKUNDEN");
        return QString();
    }
    bool isEmpty() const override { return false; }
};

}  // namespace

class WizardLayout : public PageTour {
protected:
    void check()
    {
        w->layout()->activate();
        QLabel* header = label("header");
        QLabel* text = label("text");
        for (QLabel* l : {header, text}) {
            SCOPED_TRACE(l->objectName().toStdString());
            EXPECT_LE(l->heightForWidth(l->width()), l->height()) << l->text().toStdString();
            EXPECT_LE(l->geometry().right(), w->width());
        }
        QLabel* percent = label("percentLabel");
        if (percent->isVisible()) {
            EXPECT_LE(percent->sizeHint().width(), percent->width());
            EXPECT_LE(percent->sizeHint().height(), percent->height());
        }

        std::vector<QWidget*> shown;
        for (QWidget* widget : std::initializer_list<QWidget*>{header, text, left(), right(), label("picture"),
                                                               label("badge"), percent, button("CloseButton"),
                                                               button("MinimizeButton")})
            if (showsSomething(widget))
                shown.push_back(widget);
        // The badge and the percent label sit on the picture by design.
        const std::set<std::pair<QString, QString>> layered = {{"picture", "badge"}, {"picture", "percentLabel"}};
        for (std::size_t i = 0; i < shown.size(); ++i) {
            for (std::size_t j = i + 1; j < shown.size(); ++j) {
                const QString a = shown[i]->objectName();
                const QString b = shown[j]->objectName();
                if (layered.count({a, b}) || layered.count({b, a}))
                    continue;
                EXPECT_FALSE(shown[i]->geometry().intersects(shown[j]->geometry()))
                    << a.toStdString() << " overlaps " << b.toStdString();
            }
        }

        // The column's left edge: header, text and the first button shown.
        std::vector<int> edges = {header->x(), text->x()};
        for (QPushButton* b : {left(), right()}) {
            if (b->isVisible()) {
                edges.push_back(b->x());
                break;
            }
        }
        for (const int edge : edges) {
            if (!column)
                column = edge;
            EXPECT_EQ(edge, *column) << "the text column moved";
        }
        for (QPushButton* b : {left(), right()})
            if (b->isVisible())
                expectButtonTextFits(b);

        // One vertical rhythm: the header's first line at the same height on every page, the text
        // at the same height behind every header of as many lines, the buttons at the same height
        // behind every header of as many lines and text of the same height.
        if (!headerTop)
            headerTop = header->y();
        EXPECT_EQ(header->y(), *headerTop) << "the header moved";
        const int headerLines = static_cast<int>(textLines(header).size());
        const int headerInk = firstInkRow(header);
        EXPECT_GE(headerInk, header->y());
        EXPECT_LT(headerInk, header->y() + header->height() / headerLines)
            << "the header's first line is not at the top of its box";
        EXPECT_EQ(text->height(), text->heightForWidth(text->width())) << "the text has room above its first line";

        const auto textTop = textTopBehind.emplace(headerLines, text->y()).first->second;
        EXPECT_EQ(text->y(), textTop) << "the text behind a header of " << headerLines << " lines moved";
        const std::pair<int, int> above{headerLines, textHeight(text)};
        for (QPushButton* b : {left(), right()}) {
            if (!b->isVisible())
                continue;
            const auto buttonTop = buttonTopBehind.emplace(above, b->y()).first->second;
            EXPECT_EQ(b->y(), buttonTop) << "the buttons behind a header of " << above.first
                                         << " lines and a text " << above.second << " high moved";
        }
    }

    std::optional<int> column;
    std::optional<int> headerTop;
    std::map<int, int> textTopBehind;                    // by the header's lines
    std::map<std::pair<int, int>, int> buttonTopBehind;  // by the header's lines and the text's height
};

TEST_F(WizardLayout, EveryPageInBothLanguages)
{
    for (const auto& [language, locale] : {std::pair{"English", kEnglish}, std::pair{"German", kGerman}}) {
        SCOPED_TRACE(language);
        int pages = 0;
        tour(locale, [&](const QString& name, wizard::Page) {
            SCOPED_TRACE(name.toStdString());
            check();
            ++pages;
        });
        ASSERT_FALSE(HasFatalFailure());
        EXPECT_EQ(pages, 29);
    }
}

TEST_F(WizardLayout, CountdownKeepsTheHeadersHeight)
{
    struct Row {
        const char* name;
        QLocale locale;
        bool wrapping;  // WrappingCountdown, else the locale's catalogue
    };
    const Row rows[] = {
        {"English", kEnglish, false},
        {"German", kGerman, false},
        {"a countdown that wraps differently", kEnglish, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        rig::LocaleScope scope(r.locale);
        api = FakeDfuApi();
        make();
        WrappingCountdown wrapping;
        if (r.wrapping)
            QCoreApplication::installTranslator(&wrapping);
        arrive(0x10, oldKeyboard());
        detect();
        devio::Timing::setScale(100, 1);  // the countdown is driven below, one tick at a time
        press(right());
        ASSERT_TRUE(waitState(12));
        event(0x10, DFU_EVENT_STATUS, DFU_STATUS_FAILED);
        ASSERT_EQ(w->state(), 14);
        w->layout()->activate();
        const QRect headerBox = label("header")->geometry();
        const QRect textBox = label("text")->geometry();
        const int firstLine = firstInkRow(label("header"));
        const std::size_t lines = textLines(label("header")).size();
        for (int second = 10; second >= 1; --second) {
            SCOPED_TRACE(second);
            if (second < 10) {
                ASSERT_TRUE(QMetaObject::invokeMethod(w.get(), "onRetryTimeout"));
            }
            w->layout()->activate();
            EXPECT_EQ(label("header")->geometry(), headerBox) << header().toStdString();
            EXPECT_EQ(label("text")->geometry(), textBox);
            EXPECT_LE(label("header")->heightForWidth(headerBox.width()), headerBox.height());
            EXPECT_EQ(firstInkRow(label("header")), firstLine) << "the header's first line moved";
            // Our catalogues take as many lines each second: no gap opens above the text.
            if (!r.wrapping) {
                EXPECT_EQ(textLines(label("header")).size(), lines) << header().toStdString();
            }

            // The number stays on the line of its unit, bound to it whatever the width.
            const QString number = QString::number(second);
            const int at = header().indexOf(QRegularExpression(QStringLiteral("\\b%1\\b").arg(number)));
            ASSERT_GE(at, 0) << header().toStdString();
            EXPECT_EQ(header().at(at + number.size()), QChar(QChar::Nbsp)) << header().toStdString();
            const QString unit = QCoreApplication::translate("MainWidget", second == 1 ? "second-text" : "seconds-text");
            int numberLines = 0;
            for (const QString& line : textLines(label("header"))) {
                if (!line.contains(QRegularExpression(QStringLiteral("\\b%1\\b").arg(number))))
                    continue;
                ++numberLines;
                EXPECT_TRUE(line.contains(unit)) << line.toStdString();
            }
            EXPECT_EQ(numberLines, 1);
        }
        if (r.wrapping) {
            EXPECT_NE(textLines(label("header")).size(), lines) << "the catalogue no longer wraps differently";
        }
        devio::Timing::setScale(1, 50);
        w.reset();
    }
}

TEST_F(WizardLayout, PercentStaysInsideTheLoadersRing)
{
    // Every dot of every frame of the loader, in window coordinates, grown by a margin.
    constexpr int kMargin = 2;
    const QRgb background = qRgb(0, 234, 204);
    QMovie loader(QStringLiteral(":/Images/loader.gif"));
    ASSERT_TRUE(loader.isValid());
    QImage dots(1000, 680, QImage::Format_Mono);
    dots.fill(0);
    for (int frame = 0; frame < loader.frameCount(); ++frame) {
        ASSERT_TRUE(loader.jumpToFrame(frame));
        const QImage image = loader.currentImage().convertToFormat(QImage::Format_RGB32);
        ASSERT_EQ(image.size(), QSize(124, 124));
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (image.pixel(x, y) == background)
                    continue;
                for (int dy = -kMargin; dy <= kMargin; ++dy)
                    for (int dx = -kMargin; dx <= kMargin; ++dx)
                        dots.setPixel(105 + x + dx, 238 + y + dy, 1);
            }
        }
    }

    for (const auto& [language, locale] : {std::pair{"English", kEnglish}, std::pair{"German", kGerman}}) {
        SCOPED_TRACE(language);
        rig::LocaleScope scope(locale);
        api = FakeDfuApi();
        make();
        w->setState(wizard::Page::Updating);
        QLabel* percent = label("percentLabel");
        ASSERT_EQ(label("picture")->pos(), QPoint(105, 238));
        for (int value = -1; value <= 100; ++value) {
            if (value >= 0)
                event(0x10, DFU_EVENT_PROGRESS, value);  // -1: the page's own first text
            SCOPED_TRACE(percent->text().toStdString());
            QImage ink(percent->size(), QImage::Format_ARGB32_Premultiplied);
            ink.fill(Qt::transparent);
            percent->render(&ink, QPoint(), QRegion(), QWidget::DrawChildren);
            int inked = 0;
            int overlaps = 0;
            for (int y = 0; y < ink.height(); ++y) {
                for (int x = 0; x < ink.width(); ++x) {
                    if (qAlpha(ink.pixel(x, y)) < 64)
                        continue;
                    ++inked;
                    overlaps += dots.pixelIndex(percent->x() + x, percent->y() + y);
                }
            }
            EXPECT_GT(inked, 50);
            EXPECT_EQ(overlaps, 0) << "pixels of the text on or next to the loader's dots";
        }
    }
}

