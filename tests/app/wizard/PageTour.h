// Every page of the wizard in one language, for the tests that look at each page: each row of the
// page table for a keyboard, the rows with a mouse variant again for a mouse, and the two final
// failure pages, reached by failing three automatic retries.
#pragma once

#include "WizardPages.h"
#include "WizardRig.h"

#include <functional>

class PageTour : public WizardTest {
protected:
    using Visit = std::function<void(const QString& name, wizard::Page page)>;

    void tour(const QLocale& locale, const Visit& visit)
    {
        rig::LocaleScope language(locale);
        devio::Timing::setScale(1, 200);
        std::size_t count = 0;
        const wizard::PageRow* rows = wizard::pageRows(&count);
        for (const bool mouse : {false, true}) {
            api = FakeDfuApi();
            make();
            // Active, so that a focused button is measured in its focused style.
            QApplication::setActiveWindow(w.get());
            if (mouse)
                arrive(0x20, currentMouse());
            else
                arrive(0x10, oldKeyboard());
            for (std::size_t i = 0; i < count; ++i) {
                const wizard::PageRow& row = rows[i];
                if (row.variant == wizard::PageVariant::Final || (mouse && !row.mouseHeader && !row.mousePicture))
                    continue;
                w->buildPage(static_cast<int>(row.state));
                visit(QString::asprintf("page-%02d%s", static_cast<int>(row.state), mouse ? "-mouse" : ""), row.state);
            }
        }

        api = FakeDfuApi();
        make();
        arrive(0x10, oldKeyboard());
        w->setState(wizard::Page::NextDevice);
        ASSERT_EQ(w->state(), 7);
        press(right());
        for (int attempt = 0; attempt < 4; ++attempt) {
            ASSERT_TRUE(waitState(12));
            event(0x10, DFU_EVENT_STATUS, DFU_STATUS_FAILED);
        }
        ASSERT_TRUE(waitState(14));
        ASSERT_EQ(w->retryCount(), 3);
        visit(QStringLiteral("page-14-final"), wizard::Page::UpdateFailed);
        press(right());

        arrive(0x30, oldReceiver());
        w->setState(wizard::Page::NextReceiver);
        ASSERT_EQ(w->state(), 16);
        press(right());
        for (int attempt = 0; attempt < 4; ++attempt) {
            ASSERT_TRUE(waitState(18));
            event(0x30, DFU_EVENT_STATUS, DFU_STATUS_FAILED);
        }
        ASSERT_TRUE(waitState(20));
        ASSERT_EQ(w->retryCount(), 3);
        visit(QStringLiteral("page-20-final"), wizard::Page::ReceiverUpdateFailed);
    }
};
