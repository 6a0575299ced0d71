// The wizard on the real stack as a test walks it: waits for the states it rests in, names the
// states it passed through in failure messages, and finds its buttons and header.
#pragma once

#include "MainWidget.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <string>
#include <vector>

class WizardRoad {
protected:
    // Waits until the wizard rests in `state`.
    bool reach(int state, int ms = 60000)
    {
        return QTest::qWaitFor(
            [&] {
                note();
                return widget->state() == state;
            },
            ms);
    }
    // Records the state the wizard is in, when it is a new one.
    void note()
    {
        if (road.empty() || road.back() != widget->state())
            road.push_back(widget->state());
    }
    std::string roadText() const
    {
        std::string text;
        for (int s : road)
            text += (text.empty() ? "" : " ") + std::to_string(s);
        return text;
    }
    QPushButton* left() const { return widget->findChild<QPushButton*>("leftButton"); }
    QPushButton* right() const { return widget->findChild<QPushButton*>("rightButton"); }
    QString header() const { return widget->findChild<QLabel*>("header")->text(); }

    MainWidget* widget = nullptr;  // lives until the process ends, as in the program
    std::vector<int> road;         // the states passed through, in order
};
