// The ARS train information window under the offscreen platform: opened by the dialogs
// port without a loop of its own, filled with the caption, the labels and the rows, the
// columns as wide as their texts, and one window reused for the next answer.

#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QTableWidget>
#include <algorithm>

#include "qt_ports.h"
#include "train_info_form.h"

namespace kestra::app {
namespace {

TTrainInfoForm* OpenForm() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* f = dynamic_cast<TTrainInfoForm*>(w); f && f->isVisible()) return f;
    }
    return nullptr;
}

TEST(TrainInfoGui, TheAnswerFillsOneWindowShownWithoutWaiting) {
    QtDialogs dialogs;
    ARSInformation info;
    info.Caption = "ARS Information for train 1S01";
    info.Description = "Westfield - Harton Fields";
    info.Status = "Enough route set";
    info.Delay = std::string("1\xBD minutes  late");
    info.Rows = {{"Ostwick", "", "06/49", "", "1", "DM", ""},
                 {"Vale Market Central", "06:53", "06:57", "", "1", "DM", "Divides 2B01"}};
    // Returns at once: the window is not modal.
    dialogs.ShowARSInformation(info);
    TTrainInfoForm* form = OpenForm();
    ASSERT_NE(form, nullptr);
    EXPECT_FALSE(form->isModal());
    EXPECT_EQ(form->windowTitle(), "ARS Information for train 1S01");
    EXPECT_EQ(form->StatusLabel->text(), "Enough route set");
    EXPECT_EQ(form->DelayLabel->text(), QString::fromLatin1("1\xBD minutes  late"));
    ASSERT_EQ(form->Grid->rowCount(), 2);
    EXPECT_EQ(form->Grid->item(1, 0)->text(), "Vale Market Central");
    EXPECT_EQ(form->Grid->item(1, 6)->text(), "Divides 2B01");
    const QFontMetrics metrics(form->Grid->font());
    EXPECT_GE(form->Grid->columnWidth(0), metrics.horizontalAdvance("Vale Market Central") + 16);
    const QByteArray folder = qgetenv("KESTRA_SHOTS");
    if (!folder.isEmpty()) form->grab().save(QString(folder) + "/ars_information.png");

    // The next answer goes into the same window.
    info.Caption = "ARS Information for train 2B01";
    info.Rows.resize(1);
    dialogs.ShowARSInformation(info);
    EXPECT_EQ(OpenForm(), form);
    EXPECT_EQ(form->windowTitle(), "ARS Information for train 2B01");
    EXPECT_EQ(form->Grid->rowCount(), 1);
    form->close();
}

// The grid is as tall as its rows, up to ten: no row cut off, no blank row's height
// below the last, and no sideways scrolling; more than ten rows scroll up and down.
TEST(TrainInfoGui, TheWindowFitsItsRowsAndScrollsBeyondTen) {
    QtDialogs dialogs;
    for (const int rows : {1, 2, 10, 14, 12}) {
        // The window is reused: what the last one was scrolled to must not carry over.
        if (TTrainInfoForm* last = OpenForm()) last->Grid->scrollToBottom();
        ARSInformation info;
        info.Caption = "ARS Information for train 2D11";
        info.Status = "Enough route set";
        info.Delay = "On time";
        for (int r = 0; r < rows; ++r)
            info.Rows.push_back({"Vellmoor Central " + std::to_string(r), "06:07", "06:09", "", "2",
                                 "DM", "N:2U11"});
        dialogs.ShowARSInformation(info);
        QApplication::processEvents();
        TTrainInfoForm* form = OpenForm();
        ASSERT_NE(form, nullptr);
        QTableWidget* grid = form->Grid;
        const int shown = std::min(rows, 10);
        int rowsHeight = 0;
        for (int r = 0; r < shown; ++r) rowsHeight += grid->rowHeight(r);
        const int viewport = grid->viewport()->height();
        EXPECT_GE(viewport, rowsHeight) << rows << " rows: a row is cut off";
        EXPECT_LT(viewport, rowsHeight + grid->rowHeight(0)) << rows << " rows: blank space";
        EXPECT_EQ(grid->verticalScrollBar()->isVisible(), rows > 10) << rows << " rows";
        EXPECT_FALSE(grid->horizontalScrollBar()->isVisible()) << rows << " rows";
        EXPECT_EQ(grid->rowAt(0), 0) << rows << " rows: the first line is not at the top";
        const QByteArray folder = qgetenv("KESTRA_SHOTS");
        if (!folder.isEmpty())
            form->grab().save(QString(folder) + QString("/ars_information_%1.png").arg(rows));
    }
    if (TTrainInfoForm* form = OpenForm()) form->close();
}

}  // namespace
}  // namespace kestra::app
