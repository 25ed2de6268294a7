// The telephone windows under the offscreen platform: a driver held at a red signal
// makes the telephone ring; the call list, answering with confirmation, the reply's
// message, a call withdrawn while its window is open, placing a call from the phone
// book, and the incident log.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include "display_form.h"
#include "fakes/fakes.h"
#include "fakes/interlocking_fixtures.h"
#include "fakes/straight_line.h"
#include "interlocking/route.h"
#include "qt_surface.h"
#include "sim/sim.h"
#include "telephone_form.h"
#include "trains/train.h"

namespace kestra::app {
namespace {

// With KESTRA_SHOTS set to a folder, the windows are saved there as pictures.
void Shot(QWidget& w, const char* name) {
    const QByteArray folder = qgetenv("KESTRA_SHOTS");
    if (!folder.isEmpty()) w.grab().save(QString(folder) + "/" + name + ".png");
}

class TelephoneGui : public ::testing::Test, public test::StraightLine {
  protected:
    TelephoneGui() {
        Ports ports;
        ports.Surface = &surface;
        ports.Dialog = &dialogs;
        ports.Audio = &sound;
        ports.Settings = &settings;
        sim = std::make_unique<Sim>(ports, 7);
        build = std::make_unique<test::RailwayBuilder>(*sim);
        BuildStraightLine(*build);
        TMessageOption& telephone = sim->Messages().Options[EvTelephone];
        telephone.Sound = true;
        telephone.SoundFilename = "ring.wav";
        form = std::make_unique<TDisplayForm>(*sim, surface);
        Cycles(2);
    }
    void Cycles(int n) {
        for (int i = 0; i < n; ++i) form->OnMajorCycle();
    }
    // A train standing at S2, at danger, that has telephoned.
    TTRN& HeldTrain() {
        TTRN& train = sim->Trains.Create("2B01");
        train.Place(nullptr, *U[2], nullptr);
        train.HeadPos = 380;
        train.Speed = 0;
        train.ComputeTail();
        train.SignalAhead = S2;
        train.SetState(TsAtRed);
        for (int i = 0; i < 400 && !train.PendingCall; ++i) Cycles(1);
        return train;
    }
    QtPanelSurface surface;
    test::RecordingDialogs dialogs;
    test::RecordingSound sound;
    MemorySettings settings;
    std::unique_ptr<Sim> sim;
    std::unique_ptr<test::RailwayBuilder> build;
    std::unique_ptr<TDisplayForm> form;
};

TEST_F(TelephoneGui, ATrainHeldAtRedRings) {
    EXPECT_FALSE(form->RingTimer().isActive());
    TTRN& train = HeldTrain();
    ASSERT_NE(train.PendingCall, nullptr);
    EXPECT_TRUE(form->RingTimer().isActive());
    EXPECT_EQ(form->RingTimer().interval(), 2000);
    // Within two cycles of the call the ring has sounded or the timer will sound it.
    EXPECT_TRUE(sim->Display().RingTimerRunning);
    sim->Display().RingTimerTick();
    EXPECT_FALSE(sound.Played.empty());
    EXPECT_EQ(sound.Played.back(), "ring.wav");
    // The signal clears: the call is withdrawn and the ringing stops.
    ASSERT_TRUE(RouteRequest(*sim, *S2, *S3, 0).Set);
    Cycles(8);
    EXPECT_EQ(sim->Calls.Count(), 0);
    EXPECT_FALSE(form->RingTimer().isActive());
}

TEST_F(TelephoneGui, AnsweringFromTheWindowsWithAConfirmationRefusedThenAPlainReply) {
    HeldTrain();
    ASSERT_EQ(sim->Calls.Count(), 1);
    form->setFocus();
    QKeyEvent f6(QEvent::KeyPress, Qt::Key_F6, Qt::NoModifier);
    QApplication::sendEvent(form.get(), &f6);
    TTelephoneForm* phone = form->ShowTelephone();
    ASSERT_NE(phone, nullptr);
    EXPECT_EQ(phone->windowTitle(), "Telephone Calls");
    ASSERT_EQ(phone->CallsList->count(), 1);
    const QStringList line = phone->CallsList->item(0)->data(Qt::UserRole).toStringList();
    ASSERT_EQ(line.size(), 3);
    EXPECT_EQ(line[1], "Train 2B01");
    EXPECT_EQ(line[2], "Unanswered");
    phone->show();
    Shot(*phone, "telephone_calls");

    bool refusedLeftItOpen = false;
    bool ringingStoppedWhileShown = false;
    QTimer::singleShot(0, [&] {
        auto* answer = qobject_cast<TAnswerCallForm*>(QApplication::activeModalWidget());
        ASSERT_NE(answer, nullptr);
        EXPECT_EQ(answer->windowTitle(), "Answer Call");
        EXPECT_EQ(answer->MessageLabel->text(), "Driver of 2B01 waiting at red signal 2");
        ringingStoppedWhileShown = !sim->Calls.HasUnansweredCalls();
        // Without a selection nothing happens.
        answer->ReplyButton->click();
        EXPECT_TRUE(answer->isVisible());
        // "Authorise driver to pass signal at danger" needs confirmation; refused.
        dialogs.ConfirmAnswer = false;
        answer->RepliesList->setCurrentRow(3);
        answer->ReplyButton->click();
        ASSERT_EQ(dialogs.Confirms.size(), 1u);
        EXPECT_EQ(dialogs.Confirms[0],
                  "Confirmation required for this action. Is your response \"Authorise driver to "
                  "pass signal at danger\"?");
        refusedLeftItOpen =
            answer->isVisible() && sim->Calls.Count() == 1 && sim->Calls.At(0).IsUnanswered();
        // Wait 2 minutes: no confirmation, the reply is posted and the window closes.
        answer->RepliesList->setCurrentRow(0);
        answer->ReplyButton->click();
    });
    phone->AnswerButton->click();
    EXPECT_TRUE(ringingStoppedWhileShown);
    EXPECT_TRUE(refusedLeftItOpen);
    EXPECT_EQ(dialogs.Confirms.size(), 1u);
    EXPECT_EQ(sim->Calls.Count(), 0);
    ASSERT_FALSE(sim->Messages().MessageHistory.empty());
    EXPECT_EQ(sim->Messages().MessageHistory.back().Text,
              "Train 2B01: Wait 2 minutes for signal to clear before phoning back");
    EXPECT_FALSE(phone->isVisible()) << "no call left: the telephone window closes";
    EXPECT_FALSE(sim->Calls.AnswerWindowOpen());
}

TEST_F(TelephoneGui, ACallWithdrawnWhileItsWindowIsOpenIsAnsweredSafely) {
    HeldTrain();
    TTelephoneForm* phone = form->ShowTelephone();
    QTimer::singleShot(0, [&] {
        auto* answer = qobject_cast<TAnswerCallForm*>(QApplication::activeModalWidget());
        ASSERT_NE(answer, nullptr);
        // The signal clears while the window is open: the driver rings off.
        ASSERT_TRUE(RouteRequest(*sim, *S2, *S3, 0).Set);
        Cycles(8);
        EXPECT_EQ(sim->Calls.Count(), 0);
        answer->RepliesList->setCurrentRow(3);
        answer->ReplyButton->click();
    });
    phone->AnswerButton->click();
    EXPECT_TRUE(dialogs.Confirms.empty()) << "nothing to confirm for a call that has gone";
    EXPECT_EQ(sim->Messages().MessageHistory.back().Text, "Train 2B01 has rung off");
    EXPECT_EQ(sim->Trains.FindTrain("2B01")->PassMode, PassNone);
}

TEST_F(TelephoneGui, PlacingACallFromThePhoneBook) {
    sim->PhoneBook.Entries.push_back(
        {"Ostwick Yard", {"When is your next train to us due?"}, [](int, const RequestValues&) {
             return std::string("6R01 is next, booked at 07:10.");
         }});
    TTelephoneForm* phone = form->ShowTelephone();
    phone->PlaceCallButton->click();
    TPlaceCallForm* place = phone->PlaceCallWindow();
    ASSERT_NE(place, nullptr);
    EXPECT_TRUE(place->isVisible());
    EXPECT_FALSE(phone->isVisible());
    EXPECT_EQ(place->windowTitle(), "Place Call");
    ASSERT_EQ(place->PartyList->count(), 1);
    EXPECT_EQ(place->StatusLabel->text(), "Dial tone");
    EXPECT_FALSE(place->DialButton->isEnabled());
    place->PartyList->setCurrentRow(0);
    EXPECT_TRUE(place->DialButton->isEnabled());
    place->DialButton->click();
    EXPECT_EQ(place->StatusLabel->text(), "Ringing...");
    EXPECT_TRUE(place->RingingTimer.isActive());
    EXPECT_GE(place->RingingTimer.interval(), 5000);
    EXPECT_FALSE(place->PartyList->isEnabled());
    place->Connect();  // the ringing time is over
    EXPECT_EQ(place->StatusLabel->text(), "Connected");
    ASSERT_EQ(place->RequestList->count(), 1);
    EXPECT_FALSE(place->SendButton->isEnabled());
    place->RequestList->setCurrentRow(0);
    place->SendButton->click();
    EXPECT_EQ(place->ResponseText->toPlainText(), "6R01 is next, booked at 07:10.");
    Shot(*place, "place_call");
    place->HangUpCloseButton->click();
    EXPECT_FALSE(place->isVisible());
    EXPECT_EQ(sim->PlaceCall.LineState, LineDialTone);
}

TEST_F(TelephoneGui, TheIncidentWindowListsWhatHappened) {
    HeldTrain();
    sim->Incidents.AddIncident("Track circuit failure detected in the Ostby area");
    QKeyEvent f7(QEvent::KeyPress, Qt::Key_F7, Qt::NoModifier);
    QApplication::sendEvent(form.get(), &f7);
    TIncidentForm* log = form->ShowIncidents();
    EXPECT_EQ(log->windowTitle(), "Incident Report");
    EXPECT_TRUE(log->LogText->isReadOnly());
    const QString text = log->LogText->toPlainText();
    EXPECT_TRUE(text.contains("Driver of 2B01 waiting at red signal 2")) << text.toStdString();
    EXPECT_TRUE(text.contains("Track circuit failure detected in the Ostby area"));
    Shot(*log, "incident_report");
    sim->Incidents.AddIncident("later");
    log->Refresh();
    EXPECT_TRUE(log->LogText->toPlainText().endsWith("later"));
    EXPECT_EQ(log->LogText->toPlainText().count("waiting at red signal 2"), 1) << "not repeated";
}

}  // namespace
}  // namespace kestra::app
