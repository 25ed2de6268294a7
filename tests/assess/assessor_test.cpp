// The assessor's actions on the built-in area: each has its effect and is logged with
// the simulation time; the assessor's occupations never take a train's away; the
// report's layout and its file.

#include "assess/assessor.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "area/area_builder.h"
#include "fakes/fakes.h"
#include "interlocking/level_crossing.h"
#include "interlocking/points.h"
#include "interlocking/signal.h"
#include "interlocking/speed_restriction.h"
#include "interlocking/subroute.h"
#include "interlocking/track_circuit.h"
#include "persist/saved_simulation.h"
#include "places/location.h"
#include "sim/sim.h"
#include "timetable/timetable_file.h"
#include "trains/train.h"

namespace kestra {
namespace {

struct Assessing : ::testing::Test {
    Assessing() {
        Ports ports;
        ports.Time = &clock;
        sim = std::make_unique<Sim>(ports, 3);
        area::BuildArea(*sim);
        sim->SimTime = 7 * 3600 + 5 * 60 + 9;
        assessor = std::make_unique<TAssessor>(*sim, "2026-01-01 09:00:00");
    }
    const std::string& LastLog() const {
        static const std::string none;
        return assessor->ActionLog().empty() ? none : assessor->ActionLog().back();
    }
    TPTS* PairedPoints() const {
        for (int i = 0; i < sim->Points.Count(); ++i)
            if (TPTS* p = sim->Points.At(i); p && !p->Paired.Empty()) return p;
        return nullptr;
    }
    test::ManualClock clock;
    std::unique_ptr<Sim> sim;
    std::unique_ptr<TAssessor> assessor;
};

TEST_F(Assessing, PointsDetectionFailsWithItsPairAndIsLogged) {
    TPTS* p = PairedPoints();
    ASSERT_NE(p, nullptr);
    TPTS* pair = p->Paired.At(0);
    assessor->SetNormalDetection(*p, false);
    EXPECT_TRUE(p->FailedNormal);
    EXPECT_TRUE(pair->FailedNormal);
    EXPECT_FALSE(p->FailedReverse);
    EXPECT_EQ(LastLog(), "07:05:09   Points " + p->ID + " failed normal detection");
    assessor->SetReverseDetection(*p, false);
    EXPECT_TRUE(pair->FailedReverse);
    EXPECT_TRUE(p->FailedNormal);  // the other failure stays
    EXPECT_EQ(LastLog(), "07:05:09   Points " + p->ID + " failed reverse detection");
    assessor->SetNormalDetection(*p, true);
    assessor->SetReverseDetection(*p, true);
    EXPECT_FALSE(p->FailedNormal || p->FailedReverse || pair->FailedNormal || pair->FailedReverse);
    EXPECT_EQ(LastLog(), "07:05:09   Points " + p->ID + " recovered reverse detection");
    EXPECT_EQ(assessor->ActionLog().size(), 4u);
}

TEST_F(Assessing, TakingControlStopsRandomFailures) {
    sim->Options().MaxFailures = 5;
    sim->Options().TrackFailureChance = 1.0f;
    TTCS* c = nullptr;
    sim->TrackCircuits.ForEach([&](TTCS& t) {
        if (!c && t.Location) c = &t;
    });
    ASSERT_NE(c, nullptr);
    assessor->SetInControl(true);
    EXPECT_TRUE(sim->AssessorInControl);
    sim->Failures.OfferFailure(*c);
    EXPECT_EQ(sim->Failures.Count(), 0);
    // A new simulation leaves the assessor in control.
    sim->ResetSimulation();
    EXPECT_TRUE(sim->AssessorInControl);
    sim->Options().MaxFailures = 5;
    sim->Options().TrackFailureChance = 1.0f;
    assessor->SetInControl(false);
    sim->Failures.OfferFailure(*c);
    EXPECT_EQ(sim->Failures.Count(), 1);
}

TEST_F(Assessing, LampProvingAndIsolations) {
    TSIG* s = sim->Signals.FindID("SVM27");
    ASSERT_NE(s, nullptr);
    assessor->SetLampProving(*s, false);
    EXPECT_FALSE(s->LampProved);
    EXPECT_EQ(LastLog(), "07:05:09   Signal SVM27 failed lamp proving");
    assessor->SetLampProving(*s, true);
    EXPECT_TRUE(s->LampProved);
    EXPECT_EQ(LastLog(), "07:05:09   Signal SVM27 recovered lamp proving");
    TTCS* c = sim->TrackCircuits.At(0);
    const std::size_t logged = assessor->ActionLog().size();
    assessor->SetIsolation(*c, IsoEngTI);
    EXPECT_EQ(c->ISOType, IsoEngTI);
    assessor->SetIsolation(*c, 9);  // no such marking
    EXPECT_EQ(c->ISOType, IsoEngTI);
    EXPECT_EQ(assessor->ActionLog().size(), logged);  // markings are not logged
}

TEST_F(Assessing, OccupationsAddUpAndOnlyTheAssessorsOwnAreTakenAway) {
    TTCS* c = sim->TrackCircuits.At(5);
    assessor->Occupy(*c);
    assessor->Occupy(*c);
    EXPECT_TRUE(assessor->Unoccupy(*c));
    EXPECT_EQ(c->OccupyCount, 1);
    EXPECT_TRUE(c->IsOccupied());
    EXPECT_EQ(LastLog(), "07:05:09   Track " + c->ID + " cleared");
    EXPECT_TRUE(assessor->Unoccupy(*c));
    EXPECT_EQ(c->OccupyCount, 0);
    // A train's occupation is not the assessor's to take away.
    c->Occupy();
    const std::size_t logged = assessor->ActionLog().size();
    EXPECT_FALSE(assessor->Unoccupy(*c));
    EXPECT_EQ(c->OccupyCount, 1);
    EXPECT_EQ(assessor->ActionLog().size(), logged);
}

TEST_F(Assessing, APowerFailureOverALocationAndItsRepair) {
    TLOC* quillby = sim->Locations.FindID("QLBY");
    ASSERT_NE(quillby, nullptr);
    std::vector<TTCS*> circuits;
    sim->TrackCircuits.ForEach([&](TTCS& c) {
        if (c.Location == quillby) circuits.push_back(&c);
    });
    ASSERT_FALSE(circuits.empty());
    circuits.front()->Occupy();  // a train stands there already
    assessor->FailLocation(*quillby);
    for (TTCS* c : circuits) EXPECT_EQ(c->OccupyCount, c == circuits.front() ? 2 : 1) << c->ID;
    sim->Points.ForEach([&](TPTS& p) {
        if (p.Location == quillby) {
            EXPECT_TRUE(p.FailedNormal && p.FailedReverse) << p.ID;
        }
    });
    sim->Signals.ForEach([&](TSIG& s) {
        if (s.Location == quillby) {
            EXPECT_FALSE(s.LampProved) << s.ID;
        }
    });
    EXPECT_TRUE(sim->LevelCrossings.FindID("QLBYLC")->BarrierFailed);
    EXPECT_EQ(LastLog(), "07:05:09   Power failure placed over Quillby area");
    assessor->FixLocation(*quillby);
    for (TTCS* c : circuits) EXPECT_EQ(c->OccupyCount, c == circuits.front() ? 1 : 0) << c->ID;
    sim->Signals.ForEach([&](TSIG& s) {
        if (s.Location == quillby) {
            EXPECT_TRUE(s.LampProved) << s.ID;
        }
    });
    EXPECT_FALSE(sim->LevelCrossings.FindID("QLBYLC")->BarrierFailed);
    EXPECT_EQ(LastLog(), "07:05:09   Power failure removed from Quillby area");
}

TEST_F(Assessing, TrainsArePausedAndGivenAuthorityToPassASignal) {
    TTRN& t = sim->Trains.Create("2T01");
    assessor->SetPaused(t, true);
    EXPECT_TRUE(t.Paused);
    EXPECT_EQ(LastLog(), "07:05:09   Train 2T01 paused");
    const std::size_t paused = assessor->ActionLog().size();
    assessor->SetPaused(t, true);  // no change, nothing logged
    EXPECT_EQ(assessor->ActionLog().size(), paused);
    assessor->SetPaused(t, false);
    EXPECT_FALSE(t.Paused);
    EXPECT_EQ(LastLog(), "07:05:09   Train 2T01 no longer paused");
    struct Case {
        SPADChoice Choice;
        std::int32_t Overrun;
        bool Given;
        const char* Log;
    };
    const Case cases[] = {
        {SPADChoice::KeepGoing, 0, true, "Train 2T01 SPAD (KeepGoing)"},
        {SPADChoice::StopAtDistance, 250, true, "Train 2T01 SPAD (StopAtDistance 250m)"},
        {SPADChoice::StopAtDistance, 0, false, ""},
        {SPADChoice::StopAtDistance, 10000, false, ""},
        {SPADChoice::StopNextSignal, 0, true, "Train 2T01 SPAD (StopNextSignal)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Log);
        t.PassMode = PassNone;
        const std::size_t before = assessor->ActionLog().size();
        EXPECT_EQ(assessor->GiveSPADAuthority(t, c.Choice, c.Overrun), c.Given);
        if (c.Given) {
            EXPECT_EQ(t.PassMode, static_cast<std::uint8_t>(c.Choice));
            EXPECT_EQ(LastLog(), std::string("07:05:09   ") + c.Log);
        } else {
            EXPECT_EQ(t.PassMode, PassNone);
            EXPECT_EQ(assessor->ActionLog().size(), before);
        }
    }
}

TEST_F(Assessing, SpeedRestrictionsAddedEditedMovedAndDeleted) {
    TTCS* circuit = sim->TrackCircuits.At(3);
    TULC* subroute = sim->Subroutes.At(10);
    EXPECT_EQ(TAssessor::CheckDraft({}), "An identity must be entered");
    EXPECT_EQ(TAssessor::CheckDraft({nullptr, "X", 20, 20, 0, 0}),
              "A track circuit or subroute must be selected");
    TTSR* tsr = assessor->AddTSR({circuit, "TSR1", 20, 30, 0, 0});
    ASSERT_NE(tsr, nullptr);
    ASSERT_GT(circuit->TSRs.Count(), 0);
    EXPECT_EQ(circuit->TSRs.At(0), tsr);
    EXPECT_NEAR(tsr->PassengerSpeed, 30 / 2.25, 1e-6);
    EXPECT_EQ(LastLog(), "07:05:09   Temporary speed restriction added to track " + circuit->ID);
    // Same owner: not logged.
    const std::size_t logged = assessor->ActionLog().size();
    ASSERT_TRUE(assessor->EditTSR(tsr, {circuit, "TSR1", 15, 15, 0, 0}));
    EXPECT_EQ(assessor->ActionLog().size(), logged);
    EXPECT_NEAR(tsr->FreightSpeed, 15 / 2.25, 1e-6);
    // Moved to a subroute.
    ASSERT_TRUE(assessor->EditTSR(tsr, {subroute, "TSR1", 15, 15, 10, 90}));
    EXPECT_EQ(circuit->TSRs.Count(), 0);
    ASSERT_EQ(subroute->TSRs.Count(), 1);
    EXPECT_EQ(LastLog(), "07:05:09   Temporary speed restriction edited (was " + circuit->ID +
                             ", now " + subroute->ID + ")");
    ASSERT_EQ(assessor->TSRs().size(), 1u);
    tsr = assessor->TSRs().front();
    EXPECT_EQ(tsr->ToPosition, 90);
    ASSERT_TRUE(assessor->DeleteTSR(tsr));
    EXPECT_EQ(subroute->TSRs.Count(), 0);
    EXPECT_EQ(LastLog(),
              "07:05:09   Temporary speed restriction removed from subroute " + subroute->ID);
    // A new simulation frees the restrictions: the panel forgets them.
    assessor->AddTSR({circuit, "TSR2", 20, 20, 0, 0});
    sim->ResetSimulation();
    EXPECT_TRUE(assessor->TSRs().empty());
}

// Everything the panel changes comes back with a saved game: failed detection and lamp
// proving, isolation markings, the assessor's occupations (which the assessor can still
// take away after the load, and only those), a power failure over a location and its
// repair after the load, restrictions with their identities (back in the panel's
// list), a paused train and a failed barrier.
TEST_F(Assessing, EveryInjectionComesBackWithASavedGame) {
    ASSERT_TRUE(LoadTimetableFile(*sim, std::string(KESTRA_BINARY_DIR) + "/VLM/standard.WTT"));
    sim->SimTime = sim->Timetable.StartTime;
    sim->Timetable.GenerateDelays();
    for (int i = 0; i < 1200 && sim->Trains.Count() == 0; ++i) sim->MajorCycleTick();
    ASSERT_GT(sim->Trains.Count(), 0);
    TTRN& train = *sim->Trains.At(0);
    assessor->SetPaused(train, true);

    TPTS* points = PairedPoints();
    ASSERT_NE(points, nullptr);
    assessor->SetReverseDetection(*points, false);
    TSIG* signal = sim->Signals.FindID("SVM27");
    assessor->SetLampProving(*signal, false);
    TTCS* marked = sim->TrackCircuits.At(2);
    assessor->SetIsolation(*marked, IsoEngBET);
    TTCS* occupied = sim->TrackCircuits.At(5);
    occupied->Occupy();  // a train's, say
    assessor->Occupy(*occupied);
    assessor->Occupy(*occupied);
    TLOC* quillby = sim->Locations.FindID("QLBY");
    assessor->FailLocation(*quillby);
    TTCS* inQuillby = nullptr;
    sim->TrackCircuits.ForEach([&](TTCS& c) {
        if (!inQuillby && c.Location == quillby) inQuillby = &c;
    });
    ASSERT_NE(inQuillby, nullptr);
    ASSERT_NE(inQuillby, occupied);
    assessor->AddTSR({sim->TrackCircuits.At(3), "TSR ON 3", 20, 30, 0, 0});
    assessor->AddTSR({sim->Subroutes.At(10), "TSR ON U10", 15, 25, 5, 60});

    ValueWriter w;
    ASSERT_TRUE(WriteSavedSimulation(*sim, w));
    Sim loaded;
    area::BuildArea(loaded);
    SimulationLoadError error;
    ASSERT_EQ(LoadSimulationBytes(loaded, w.Bytes(), &error), 0) << error.Reason;
    TAssessor again(loaded, "2026-01-01 10:00:00");

    ASSERT_NE(loaded.Trains.FindID(train.ID), nullptr);
    EXPECT_TRUE(loaded.Trains.FindID(train.ID)->Paused);
    TPTS* points2 = loaded.Points.FindID(points->ID);
    EXPECT_TRUE(points2->FailedReverse);
    EXPECT_TRUE(points2->Paired.At(0)->FailedReverse);
    EXPECT_FALSE(loaded.Signals.FindID("SVM27")->LampProved);
    EXPECT_EQ(loaded.TrackCircuits.At(2)->ISOType, IsoEngBET);
    EXPECT_TRUE(loaded.LevelCrossings.FindID("QLBYLC")->BarrierFailed);
    TTCS* occupied2 = loaded.TrackCircuits.At(5);
    EXPECT_EQ(occupied2->OccupyCount, 3);
    EXPECT_EQ(occupied2->AssessorOccupants, 2);
    EXPECT_TRUE(again.Unoccupy(*occupied2));
    EXPECT_TRUE(again.Unoccupy(*occupied2));
    EXPECT_FALSE(again.Unoccupy(*occupied2));  // the train's stays
    EXPECT_EQ(occupied2->OccupyCount, 1);
    TLOC* quillby2 = loaded.Locations.FindID("QLBY");
    TTCS* inQuillby2 = loaded.TrackCircuits.FindID(inQuillby->ID);
    EXPECT_EQ(inQuillby2->AssessorOccupants, inQuillby->AssessorOccupants);
    const std::int32_t before = inQuillby2->OccupyCount;
    again.FixLocation(*quillby2);
    EXPECT_EQ(inQuillby2->OccupyCount, before - 1);
    EXPECT_FALSE(loaded.LevelCrossings.FindID("QLBYLC")->BarrierFailed);
    const std::vector<TTSR*> tsrs = again.TSRs();
    ASSERT_EQ(tsrs.size(), 2u);
    EXPECT_EQ(tsrs[0]->ID, "TSR ON 3");
    EXPECT_EQ(tsrs[0]->Owner, loaded.TrackCircuits.At(3));
    EXPECT_EQ(tsrs[1]->ID, "TSR ON U10");
    EXPECT_EQ(tsrs[1]->ToPosition, 60);
    ASSERT_TRUE(again.DeleteTSR(tsrs[1]));
    EXPECT_EQ(loaded.Subroutes.At(10)->TSRs.Count(), 0);
}

// The assessor's section, at the very end of the file, refused cleanly when it is
// damaged: counts beyond the bytes left or below nought, a circuit out of the list or
// named twice, more of the assessor's occupants than the circuit has, identities for
// restrictions that are not there. Each refusal leaves a reset simulation.
TEST_F(Assessing, ADamagedAssessorSectionIsRefused) {
    using Bytes = std::vector<std::uint8_t>;
    TTCS* c = sim->TrackCircuits.At(0);
    assessor->Occupy(*c);
    ValueWriter w;
    ASSERT_TRUE(WriteSavedSimulation(*sim, w));
    const Bytes file = w.Bytes();
    // One circuit (position 0, one occupant of the assessor's), no restrictions.
    const Bytes tail = {2, 1, 2, 0, 2, 1, 2, 0};
    ASSERT_GE(file.size(), tail.size());
    ASSERT_EQ(Bytes(file.end() - 8, file.end()), tail);
    struct Case {
        const char* Why;
        Bytes Section;
    };
    const Case cases[] = {
        {"circuit count beyond the bytes left", {4, 0xFF, 0xFF, 0xFF, 0x7F, 2, 0}},
        {"negative circuit count", {2, 0xFF, 2, 0}},
        {"circuit out of the list", {2, 1, 3, 0xFF, 0x7F, 2, 1, 2, 0}},
        {"negative circuit", {2, 1, 2, 0xFF, 2, 1, 2, 0}},
        {"circuit named twice", {2, 2, 2, 0, 2, 1, 2, 0, 2, 1, 2, 0}},
        {"more than the circuit's occupants", {2, 1, 2, 0, 2, 2, 2, 0}},
        {"no occupant", {2, 1, 2, 0, 2, 0, 2, 0}},
        {"an identity for no restriction", {2, 1, 2, 0, 2, 1, 2, 1, 6, 1, 'X'}},
        {"restriction count beyond the bytes left", {2, 1, 2, 0, 2, 1, 4, 0xFF, 0xFF, 0xFF, 0x7F}},
        {"cut short", {2, 1, 2, 0, 2, 1}},
        {"data after the section", {2, 1, 2, 0, 2, 1, 2, 0, 2, 0}},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.Why);
        Bytes bad(file.begin(), file.end() - 8);
        bad.insert(bad.end(), k.Section.begin(), k.Section.end());
        Sim target;
        area::BuildArea(target);
        EXPECT_EQ(LoadSimulationBytes(target, bad), 1);
        EXPECT_EQ(target.TrackCircuits.At(0)->OccupyCount, 0);
        EXPECT_EQ(target.TrackCircuits.At(0)->AssessorOccupants, 0);
    }
    Sim target;
    area::BuildArea(target);
    ASSERT_EQ(LoadSimulationBytes(target, file), 0);
    EXPECT_EQ(target.TrackCircuits.At(0)->AssessorOccupants, 1);
}

TEST_F(Assessing, ABarrierFailureIsLogged) {
    TLevelCrossing* lx = sim->LevelCrossings.FindID("QLBYLC");
    ASSERT_NE(lx, nullptr);
    assessor->SetBarrierFailed(*lx, true);
    EXPECT_TRUE(lx->BarrierFailed);
    EXPECT_EQ(LastLog(), "07:05:09   Level crossing QUILLBY LC barriers failed");
}

TEST_F(Assessing, AReportWithNoTimingPointsHasTheTotalLineOnly) {
    assessor->LogAction("Something");
    const auto lines = assessor->ReportLines("Ann", "Bob", {"Good", "work"}, "2026-01-01 10:00:00");
    auto at = [&](const std::string& text) {
        for (std::size_t i = 0; i < lines.size(); ++i)
            if (lines[i] == text) return static_cast<int>(i);
        return -1;
    };
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], std::string(34, '-'));
    EXPECT_EQ(lines[1], "KESTRA TORVALE B - ASSESSOR REPORT");
    EXPECT_GE(at("Name of person doing the assessing: Ann"), 0);
    EXPECT_GE(at("Start date/time:                    2026-01-01 09:00:00"), 0);
    EXPECT_GE(at("07:05:09   Something"), 0);
    const int total = at("Trains passing timing points: 0 total timing points");
    ASSERT_GE(total, 0);
    EXPECT_EQ(lines[static_cast<std::size_t>(total) + 1], "");
    EXPECT_EQ(lines.back(), std::string(13, '-'));

    sim->Performance.PointsOnTime = 2;
    sim->Performance.PointsOverFive = 1;
    const auto scored = assessor->ReportLines("Ann", "Bob", {}, "x");
    bool found = false;
    for (std::size_t i = 0; i + 1 < scored.size(); ++i)
        if (scored[i] == "Trains passing timing points: 3 total timing points") {
            found = true;
            EXPECT_EQ(scored[i + 1], "\tOn time: 2 (67%)");
        }
    EXPECT_TRUE(found);
}

TEST_F(Assessing, TheReportFileReadsBackAsWritten) {
    assessor->LogAction("Signal SVM27 failed lamp proving");
    const std::string path = ::testing::TempDir() + "kestra_assessor_report.txt";
    ASSERT_TRUE(assessor->WriteReport(path, "Ann", "Bob", {"Line one"}));
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::string expected;
    for (const std::string& l :
         assessor->ReportLines("Ann", "Bob", {"Line one"}, clock.RealDateTime()))
        expected += l + "\r\n";
    EXPECT_EQ(text.str(), expected);
    EXPECT_FALSE(assessor->WriteReport("/nonexistent-folder/report.txt", "A", "B", {}));
}

}  // namespace
}  // namespace kestra
