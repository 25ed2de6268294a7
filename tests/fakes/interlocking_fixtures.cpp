#include "fakes/interlocking_fixtures.h"

#include <cmath>

namespace kestra::test {

TTCS& RailwayBuilder::Circuit(const std::string& id) {
    return sim_.TrackCircuits.Create(sim_, id);
}

TSIG& RailwayBuilder::Signal(const std::string& id, TTCS* berthCircuit, std::uint8_t kind,
                             std::uint8_t aspectFlags) {
    TSIG& s = sim_.Signals.Create(sim_, id);
    s.SignalKind = kind;
    s.AspectFlags = aspectFlags;
    s.SetBaseAspectFromFlags();
    s.Aspect = s.BaseAspect;
    s.BerthCircuit = berthCircuit;
    return s;
}

TPTS& RailwayBuilder::Points(const std::string& id, TTCS& circuit, std::int32_t x, std::int32_t y) {
    TPTS& p = sim_.Points.Create(sim_, id);
    PointsSetup setup;
    setup.X = x;
    setup.Y = y;
    p.Configure(setup);
    p.SetTrackCircuit(circuit);
    return p;
}

TULC& RailwayBuilder::Subroute(TTCS& circuit, const std::string& id, TSIG* endSignal,
                               std::int32_t length) {
    TULC& s = sim_.Subroutes.Create(sim_, id);
    SubrouteSetup setup;
    setup.Length = length;
    setup.FreightSpeed = 20;
    setup.PassengerSpeed = 30;
    setup.TrackCircuit = &circuit;
    setup.PassageTime = 5;
    setup.ClearTime =
        static_cast<std::int32_t>(std::lround(2.0 * std::sqrt(static_cast<double>(length))));
    s.Configure(setup);
    if (endSignal) SetEndSignal(s, *endSignal);
    return s;
}

void RailwayBuilder::Chain(std::initializer_list<TULC*> subroutes) {
    TULC* previous = nullptr;
    for (TULC* s : subroutes) {
        if (previous) LinkSubroutes(*previous, *s);
        previous = s;
    }
}

TOVL& RailwayBuilder::Overlap(TSIG& signal, std::initializer_list<TULC*> subroutes,
                              bool restricted) {
    TOVL& o = sim_.Overlaps.Create(sim_);
    o.Configure(signal, subroutes, restricted);
    return o;
}

TROU& RailwayBuilder::Route(TSIG& entrance, TSIG& exit, std::initializer_list<TULC*> subroutes,
                            std::uint8_t routeClass, std::initializer_list<TULC*> permissive) {
    TROU& r = sim_.Routes.Create(sim_, entrance.ID + "-" + exit.ID);
    r.Configure(routeClass, entrance, exit, subroutes, permissive);
    r.ApproachTime = 120;
    return r;
}

PlainLine BuildPlainLine(RailwayBuilder& b) {
    PlainLine f{};
    f.T0 = &b.Circuit("T0");
    f.T1 = &b.Circuit("T1");
    f.T2 = &b.Circuit("T2");
    f.T3 = &b.Circuit("T3");
    f.T4 = &b.Circuit("T4");
    f.S1 = &b.Signal("S1", f.T0);
    f.S2 = &b.Signal("S2", f.T2);
    f.S3 = &b.Signal("S3", f.T4);
    f.D1 = &b.Signal("D1", f.T3);
    f.D2 = &b.Signal("D2", f.T1);

    f.T0ab = &b.Subroute(*f.T0, "AB", f.S1);
    f.T1ab = &b.Subroute(*f.T1, "AB");
    f.T2ab = &b.Subroute(*f.T2, "AB", f.S2);
    f.T3ab = &b.Subroute(*f.T3, "AB");
    f.T4ab = &b.Subroute(*f.T4, "AB", f.S3);
    b.Chain({f.T0ab, f.T1ab, f.T2ab, f.T3ab, f.T4ab});

    f.T3ba = &b.Subroute(*f.T3, "BA", f.D1);
    f.T2ba = &b.Subroute(*f.T2, "BA");
    f.T1ba = &b.Subroute(*f.T1, "BA", f.D2);
    f.T0ba = &b.Subroute(*f.T0, "BA");
    b.Chain({f.T3ba, f.T2ba, f.T1ba, f.T0ba});
    SetOpposites(*f.T0ab, *f.T0ba);
    SetOpposites(*f.T1ab, *f.T1ba);
    SetOpposites(*f.T2ab, *f.T2ba);
    SetOpposites(*f.T3ab, *f.T3ba);

    f.S2Overlap = &b.Overlap(*f.S2, {f.T3ab});
    f.D2Overlap = &b.Overlap(*f.D2, {f.T0ba});
    f.S1S2 = &b.Route(*f.S1, *f.S2, {f.T1ab, f.T2ab});
    f.S2S3 = &b.Route(*f.S2, *f.S3, {f.T3ab, f.T4ab});
    f.D1D2 = &b.Route(*f.D1, *f.D2, {f.T2ba, f.T1ba});
    return f;
}

DoubleJunction BuildDoubleJunction(RailwayBuilder& b) {
    DoubleJunction f{};
    f.T0 = &b.Circuit("T0");
    f.TA = &b.Circuit("TA");
    f.TJ = &b.Circuit("TJ");
    f.TM1 = &b.Circuit("TM1");
    f.TM2 = &b.Circuit("TM2");
    f.TB1 = &b.Circuit("TB1");
    f.TB2 = &b.Circuit("TB2");
    f.TMd = &b.Circuit("TMd");
    f.TBd = &b.Circuit("TBd");
    f.TX = &b.Circuit("TX");
    f.TD = &b.Circuit("TD");
    f.TD2 = &b.Circuit("TD2");

    f.S0 = &b.Signal("S0", f.T0);
    f.SA = &b.Signal("SA", f.TA);
    f.SM = &b.Signal("SM", f.TM1);
    f.SB = &b.Signal("SB", f.TB1);
    f.SMd = &b.Signal("SMd", f.TMd);
    f.SBd = &b.Signal("SBd", f.TBd);
    f.SD = &b.Signal("SD", f.TD);

    f.P1 = &b.Points("P1", *f.TJ, 10, 5);
    f.P2 = &b.Points("P2", *f.TX, 10, 7);

    // Up lines.
    f.T0ab = &b.Subroute(*f.T0, "AB", f.S0);
    f.TAab = &b.Subroute(*f.TA, "AB", f.SA);
    f.TJab = &b.Subroute(*f.TJ, "AB");
    f.TJac = &b.Subroute(*f.TJ, "AC");
    f.TJab->AddNormalPoints(*f.P1);
    f.TJac->AddReversePoints(*f.P1);
    f.TM1ab = &b.Subroute(*f.TM1, "AB", f.SM);
    f.TM2ab = &b.Subroute(*f.TM2, "AB");
    f.TB1ab = &b.Subroute(*f.TB1, "AB", f.SB);
    f.TB2ab = &b.Subroute(*f.TB2, "AB");
    b.Chain({f.T0ab, f.TAab, f.TJab, f.TM1ab, f.TM2ab});
    b.Chain({f.TAab, f.TJac, f.TB1ab, f.TB2ab});

    // Down lines.
    f.TMdba = &b.Subroute(*f.TMd, "BA", f.SMd);
    f.TBdba = &b.Subroute(*f.TBd, "BA", f.SBd);
    f.TXba = &b.Subroute(*f.TX, "BA");
    f.TXca = &b.Subroute(*f.TX, "CA");
    f.TXba->AddNormalPoints(*f.P2);
    f.TXca->AddReversePoints(*f.P2);
    f.TDba = &b.Subroute(*f.TD, "BA", f.SD);
    f.TD2ba = &b.Subroute(*f.TD2, "BA");
    b.Chain({f.TMdba, f.TXba, f.TDba, f.TD2ba});
    b.Chain({f.TBdba, f.TXca, f.TDba});

    // The down branch crosses the up main on the flat.
    SetConflicting(*f.TXca, *f.TJab);

    f.SAStraight = &b.Overlap(*f.SA, {f.TJab});
    f.SADiverging = &b.Overlap(*f.SA, {f.TJac});
    f.SMOverlap = &b.Overlap(*f.SM, {f.TM2ab});
    f.SBOverlap = &b.Overlap(*f.SB, {f.TB2ab});
    f.SDOverlap = &b.Overlap(*f.SD, {f.TD2ba});

    f.S0SA = &b.Route(*f.S0, *f.SA, {f.TAab});
    f.SASM = &b.Route(*f.SA, *f.SM, {f.TJab, f.TM1ab});
    f.SASB = &b.Route(*f.SA, *f.SB, {f.TJac, f.TB1ab});
    f.SMdSD = &b.Route(*f.SMd, *f.SD, {f.TXba, f.TDba});
    f.SBdSD = &b.Route(*f.SBd, *f.SD, {f.TXca, f.TDba});
    return f;
}

CrossoverPair BuildCrossoverPair(RailwayBuilder& b) {
    CrossoverPair f{};
    f.TU0 = &b.Circuit("TU0");
    f.TU = &b.Circuit("TU");
    f.TU1 = &b.Circuit("TU1");
    f.TW0 = &b.Circuit("TW0");
    f.TW = &b.Circuit("TW");
    f.TW1 = &b.Circuit("TW1");
    f.U1 = &b.Signal("U1", f.TU0);
    f.U2 = &b.Signal("U2", f.TU1);
    f.W1 = &b.Signal("W1", f.TW0);
    f.W2 = &b.Signal("W2", f.TW1);

    f.X1 = &b.Points("X1", *f.TU, 20, 5);
    f.X2 = &b.Points("X2", *f.TW, 21, 7);
    f.X1->Paired.Add({}, f.X2);
    f.X2->Paired.Add({}, f.X1);

    f.TU0ab = &b.Subroute(*f.TU0, "AB", f.U1);
    f.TUab = &b.Subroute(*f.TU, "AB");
    f.TUac = &b.Subroute(*f.TU, "AC");
    f.TU1ab = &b.Subroute(*f.TU1, "AB", f.U2);
    f.TW0ab = &b.Subroute(*f.TW0, "AB", f.W1);
    f.TWab = &b.Subroute(*f.TW, "AB");
    f.TWcb = &b.Subroute(*f.TW, "CB");
    f.TW1ab = &b.Subroute(*f.TW1, "AB", f.W2);
    f.TUab->AddNormalPoints(*f.X1);
    f.TUac->AddReversePoints(*f.X1);
    f.TWab->AddNormalPoints(*f.X2);
    f.TWcb->AddReversePoints(*f.X2);
    b.Chain({f.TU0ab, f.TUab, f.TU1ab});
    b.Chain({f.TU0ab, f.TUac, f.TWcb, f.TW1ab});
    b.Chain({f.TW0ab, f.TWab, f.TW1ab});

    f.U1U2 = &b.Route(*f.U1, *f.U2, {f.TUab, f.TU1ab});
    f.U1W2 = &b.Route(*f.U1, *f.W2, {f.TUac, f.TWcb, f.TW1ab});
    f.W1W2 = &b.Route(*f.W1, *f.W2, {f.TWab, f.TW1ab});
    return f;
}

LoopWithFlank BuildLoopWithFlank(RailwayBuilder& b) {
    LoopWithFlank f{};
    f.TL0 = &b.Circuit("TL0");
    f.TP1 = &b.Circuit("TP1");
    f.TMain = &b.Circuit("TMain");
    f.TLoop = &b.Circuit("TLoop");
    f.TP2 = &b.Circuit("TP2");
    f.TL3 = &b.Circuit("TL3");
    f.TSid = &b.Circuit("TSid");
    f.SL = &b.Signal("SL", f.TL0);
    f.SXm = &b.Signal("SXm", f.TMain);
    f.SXl = &b.Signal("SXl", f.TLoop);
    f.SOut = &b.Signal("SOut", f.TL3);

    f.L1 = &b.Points("L1", *f.TP1, 30, 5);
    f.L2 = &b.Points("L2", *f.TP2, 40, 5);
    f.F = &b.Points("F", *f.TSid, 35, 3);

    f.TL0ab = &b.Subroute(*f.TL0, "AB", f.SL);
    f.TP1ab = &b.Subroute(*f.TP1, "AB");
    f.TP1ac = &b.Subroute(*f.TP1, "AC");
    f.TMainab = &b.Subroute(*f.TMain, "AB", f.SXm);
    f.TLoopab = &b.Subroute(*f.TLoop, "AB", f.SXl);
    f.TP2ab = &b.Subroute(*f.TP2, "AB");
    f.TP2cb = &b.Subroute(*f.TP2, "CB");
    f.TL3ab = &b.Subroute(*f.TL3, "AB", f.SOut);
    f.TSidab = &b.Subroute(*f.TSid, "AB");
    f.TSidac = &b.Subroute(*f.TSid, "AC");
    f.TP1ab->AddNormalPoints(*f.L1);
    f.TP1ac->AddReversePoints(*f.L1);
    f.TP2ab->AddNormalPoints(*f.L2);
    f.TP2cb->AddReversePoints(*f.L2);
    f.TSidab->AddNormalPoints(*f.F);
    f.TSidac->AddReversePoints(*f.F);
    f.TMainab->AddFlankNormalPoints(*f.F);
    b.Chain({f.TL0ab, f.TP1ab, f.TMainab, f.TP2ab, f.TL3ab});
    b.Chain({f.TP1ac, f.TLoopab, f.TP2cb, f.TL3ab});
    LinkSubroutes(*f.TL0ab, *f.TP1ac);

    f.SXmOverlap = &b.Overlap(*f.SXm, {f.TP2ab});
    f.SXlOverlap = &b.Overlap(*f.SXl, {f.TP2cb});
    f.SLSXm = &b.Route(*f.SL, *f.SXm, {f.TP1ab, f.TMainab});
    f.SLSXl = &b.Route(*f.SL, *f.SXl, {f.TP1ac, f.TLoopab});
    f.SXmSOut = &b.Route(*f.SXm, *f.SOut, {f.TP2ab, f.TL3ab});
    f.SXlSOut = &b.Route(*f.SXl, *f.SOut, {f.TP2cb, f.TL3ab});
    return f;
}

LongOverlapJunction BuildLongOverlapJunction(RailwayBuilder& b) {
    LongOverlapJunction f{};
    f.TU0 = &b.Circuit("TU0");
    f.TU1 = &b.Circuit("TU1");
    f.T1 = &b.Circuit("T1");
    f.T2 = &b.Circuit("T2");
    f.T3 = &b.Circuit("T3");
    f.T4 = &b.Circuit("T4");
    f.T5 = &b.Circuit("T5");
    f.T6 = &b.Circuit("T6");
    f.SU1 = &b.Signal("SU1", f.TU0);
    f.SU2 = &b.Signal("SU2", f.TU1);
    f.SM = &b.Signal("SM", f.T3);
    f.SB = &b.Signal("SB", f.T4);
    f.SDm = &b.Signal("SDm", f.T5);
    f.SD3m = &b.Signal("SD3m", f.T3);
    f.SDb = &b.Signal("SDb", f.T6);
    f.SD2 = &b.Signal("SD2", f.T1);
    f.SD3 = &b.Signal("SD3", f.TU0);
    f.P = &b.Points("P", *f.T2, 50, 5);

    // Up.
    f.TU0ab = &b.Subroute(*f.TU0, "AB", f.SU1);
    f.TU1ab = &b.Subroute(*f.TU1, "AB", f.SU2);
    f.T1ab = &b.Subroute(*f.T1, "AB");
    f.T2ab = &b.Subroute(*f.T2, "AB");
    f.T2ac = &b.Subroute(*f.T2, "AC");
    f.T2ab->AddNormalPoints(*f.P);
    f.T2ac->AddReversePoints(*f.P);
    f.T3ab = &b.Subroute(*f.T3, "AB", f.SM);
    f.T4ab = &b.Subroute(*f.T4, "AB", f.SB);
    f.T5ab = &b.Subroute(*f.T5, "AB");
    f.T6ab = &b.Subroute(*f.T6, "AB");
    b.Chain({f.TU0ab, f.TU1ab, f.T1ab, f.T2ab, f.T3ab, f.T5ab});
    b.Chain({f.T1ab, f.T2ac, f.T4ab, f.T6ab});

    // Down.
    f.T5ba = &b.Subroute(*f.T5, "BA", f.SDm);
    f.T3ba = &b.Subroute(*f.T3, "BA", f.SD3m);
    f.T6ba = &b.Subroute(*f.T6, "BA", f.SDb);
    f.T4ba = &b.Subroute(*f.T4, "BA");
    f.T2ba = &b.Subroute(*f.T2, "BA");
    f.T2ca = &b.Subroute(*f.T2, "CA");
    f.T2ba->AddNormalPoints(*f.P);
    f.T2ca->AddReversePoints(*f.P);
    f.T1ba = &b.Subroute(*f.T1, "BA", f.SD2);
    f.TU1ba = &b.Subroute(*f.TU1, "BA");
    f.TU0ba = &b.Subroute(*f.TU0, "BA", f.SD3);
    b.Chain({f.T5ba, f.T3ba, f.T2ba, f.T1ba, f.TU1ba, f.TU0ba});
    b.Chain({f.T6ba, f.T4ba, f.T2ca, f.T1ba});
    SetOpposites(*f.TU0ab, *f.TU0ba);
    SetOpposites(*f.TU1ab, *f.TU1ba);
    SetOpposites(*f.T1ab, *f.T1ba);
    SetOpposites(*f.T2ab, *f.T2ba);
    SetOpposites(*f.T2ac, *f.T2ca);
    SetOpposites(*f.T3ab, *f.T3ba);
    SetOpposites(*f.T4ab, *f.T4ba);
    SetOpposites(*f.T5ab, *f.T5ba);
    SetOpposites(*f.T6ab, *f.T6ba);

    f.SU2Main = &b.Overlap(*f.SU2, {f.T1ab, f.T2ab, f.T3ab});
    f.SU2Branch = &b.Overlap(*f.SU2, {f.T1ab, f.T2ac, f.T4ab});
    f.SD3mOverlap = &b.Overlap(*f.SD3m, {f.T2ba, f.T1ba});
    f.SD2Overlap = &b.Overlap(*f.SD2, {f.TU1ba, f.TU0ba});
    f.SMOverlap = &b.Overlap(*f.SM, {f.T5ab});
    f.SBOverlap = &b.Overlap(*f.SB, {f.T6ab});

    f.SU1SU2 = &b.Route(*f.SU1, *f.SU2, {f.TU1ab});
    f.SU2SM = &b.Route(*f.SU2, *f.SM, {f.T1ab, f.T2ab, f.T3ab});
    f.SU2SB = &b.Route(*f.SU2, *f.SB, {f.T1ab, f.T2ac, f.T4ab});
    f.SDmSD3m = &b.Route(*f.SDm, *f.SD3m, {f.T3ba});
    f.SD3mSD2 = &b.Route(*f.SD3m, *f.SD2, {f.T2ba, f.T1ba});
    f.SDbSD2 = &b.Route(*f.SDb, *f.SD2, {f.T4ba, f.T2ca, f.T1ba});
    f.SD2SD3 = &b.Route(*f.SD2, *f.SD3, {f.TU1ba, f.TU0ba});
    return f;
}

}  // namespace kestra::test
