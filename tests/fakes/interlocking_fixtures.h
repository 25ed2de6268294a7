#pragma once
// Small railways built into a simulation, wired the way the area builder wires its
// objects: a plain line, a double junction, a crossover pair and a loop with flank
// protection. One builder makes them all; tests add what else they need through it.

#include <cstdint>
#include <initializer_list>
#include <string>

#include "sim/sim.h"
#include "interlocking/overlap.h"
#include "interlocking/points.h"
#include "interlocking/route.h"
#include "interlocking/signal.h"
#include "interlocking/subroute.h"
#include "interlocking/track_circuit.h"

namespace kestra::test {

// Three- and four-aspect main signals and a shunt signal, as AspectFlags.
inline constexpr std::uint8_t kMainAspects = AfRed | AfSingleYellow | AfDoubleYellow | AfGreen;
inline constexpr std::uint8_t kShuntAspects = AfRed | AfPositionLight;

// Creates objects in the simulation's class lists and links them.
class RailwayBuilder {
  public:
    explicit RailwayBuilder(Sim& sim) : sim_(sim) {}

    TTCS& Circuit(const std::string& id);
    // A signal; its berth circuit is the circuit a train stands on in rear of it.
    TSIG& Signal(const std::string& id, TTCS* berthCircuit = nullptr, std::uint8_t kind = 0,
                 std::uint8_t aspectFlags = kMainAspects);
    TPTS& Points(const std::string& id, TTCS& circuit, std::int32_t x = 0, std::int32_t y = 0);
    // A subroute over a circuit, ending at a signal when one is given. Its ClearTime is
    // 2 x the square root of its length, to the nearest second, as the area gives it.
    TULC& Subroute(TTCS& circuit, const std::string& id, TSIG* endSignal = nullptr,
                   std::int32_t length = 200);
    // Links each subroute to the next one in the list.
    void Chain(std::initializer_list<TULC*> subroutes);
    TOVL& Overlap(TSIG& signal, std::initializer_list<TULC*> subroutes, bool restricted = false);
    TROU& Route(TSIG& entrance, TSIG& exit, std::initializer_list<TULC*> subroutes,
                std::uint8_t routeClass = RcMain, std::initializer_list<TULC*> permissive = {});

    Sim& sim() { return sim_; }

  private:
    Sim& sim_;
};

// T0 - T1 - T2 - T3 - T4, worked both ways.
//   up:   S1 at the end of T0, S2 at the end of T2, S3 at the end of T4;
//         routes S1-S2 (T1, T2) with S2's overlap on T3, and S2-S3 (T3, T4); S3 has
//         no overlap.
//   down: D1 at the end of T3 going down, D2 at the end of T1 going down; route D1-D2
//         (T2, T1) with D2's overlap on T0.
struct PlainLine {
    TTCS *T0, *T1, *T2, *T3, *T4;
    TSIG *S1, *S2, *S3, *D1, *D2;
    TULC *T0ab, *T1ab, *T2ab, *T3ab, *T4ab;
    TULC *T0ba, *T1ba, *T2ba, *T3ba;
    TOVL *S2Overlap, *D2Overlap;
    TROU *S1S2, *S2S3, *D1D2;
};
PlainLine BuildPlainLine(RailwayBuilder& b);

// A double junction. The up main T0 - TA - TJ splits at facing points P1 (in TJ) to
// the up main TM1 - TM2 or the up branch TB1 - TB2. The down main TMd and the down
// branch TBd join at trailing points P2 (in TX) onto the down line TD - TD2; the down
// branch crosses the up main on the flat, so TX "CA" conflicts with TJ "AB".
//   Signals: S0 (end of T0), SA (end of TA), SM (end of TM1), SB (end of TB1),
//   SMd (end of TMd), SBd (end of TBd), SD (end of TD).
//   Routes: S0-SA (TA); SA-SM (TJ AB, TM1); SA-SB (TJ AC, TB1); SMd-SD (TX BA, TD);
//   SBd-SD (TX CA, TD).
//   Overlaps: SA has two, straight (TJ AB, P1 normal) first, then diverging (TJ AC);
//   SM on TM2, SB on TB2, SD on TD2.
struct DoubleJunction {
    TTCS *T0, *TA, *TJ, *TM1, *TM2, *TB1, *TB2, *TMd, *TBd, *TX, *TD, *TD2;
    TSIG *S0, *SA, *SM, *SB, *SMd, *SBd, *SD;
    TPTS *P1, *P2;
    TULC *T0ab, *TAab, *TJab, *TJac, *TM1ab, *TM2ab, *TB1ab, *TB2ab;
    TULC *TMdba, *TBdba, *TXba, *TXca, *TDba, *TD2ba;
    TOVL *SAStraight, *SADiverging, *SMOverlap, *SBOverlap, *SDOverlap;
    TROU *S0SA, *SASM, *SASB, *SMdSD, *SBdSD;
};
DoubleJunction BuildDoubleJunction(RailwayBuilder& b);

// Two parallel lines joined by a crossover whose two ends X1 (in TU, up line) and X2
// (in TW, down line) are paired. Both lines are worked in the up direction here:
//   U1 (end of TU0) - U2 (end of TU1) straight along the up line over TU "AB" (X1
//   normal); U1 - W2 (end of TW1) across the crossover over TU "AC" (X1 reverse) and
//   TW "CB" (X2 reverse); W1 (end of TW0) - W2 along the down line over TW "AB"
//   (X2 normal).
struct CrossoverPair {
    TTCS *TU0, *TU, *TU1, *TW0, *TW, *TW1;
    TSIG *U1, *U2, *W1, *W2;
    TPTS *X1, *X2;
    TULC *TU0ab, *TUab, *TUac, *TU1ab, *TW0ab, *TWab, *TWcb, *TW1ab;
    TROU *U1U2, *U1W2, *W1W2;
};
CrossoverPair BuildCrossoverPair(RailwayBuilder& b);

// A main line with a passing loop: facing points L1 (in TP1) lead to the main TMain or
// the loop TLoop, trailing points L2 (in TP2) join them again before TL3. A siding
// joins beside the main through points F (in TSid): the main route holds F normal as
// flank protection.
//   Signals: SL (end of TL0), SXm (end of TMain), SXl (end of TLoop), SOut (end of TL3).
//   Routes: SL-SXm (TP1 AB, TMain), SL-SXl (TP1 AC, TLoop), SXm-SOut (TP2 AB, TL3),
//   SXl-SOut (TP2 CB, TL3). Overlaps: SXm over TP2 AB, SXl over TP2 CB.
struct LoopWithFlank {
    TTCS *TL0, *TP1, *TMain, *TLoop, *TP2, *TL3, *TSid;
    TSIG *SL, *SXm, *SXl, *SOut;
    TPTS *L1, *L2, *F;
    TULC *TL0ab, *TP1ab, *TP1ac, *TMainab, *TLoopab, *TP2ab, *TP2cb, *TL3ab, *TSidab, *TSidac;
    TOVL *SXmOverlap, *SXlOverlap;
    TROU *SLSXm, *SLSXl, *SXmSOut, *SXlSOut;
};
LoopWithFlank BuildLoopWithFlank(RailwayBuilder& b);

}  // namespace kestra::test
